// The release one publish adds to an update folder: the configuration's components with their
// server files and, for a folder that already offers a release, whether the new one may follow
// it and which published archives stay as they are.
//
// Platforms: portable.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "archive/update_metadata.h"
#include "pack/release/build_config.h"
#include "pack/release/update_folder.h"
#include "tail/payload_layout.h"

namespace ferrolan::pack {

/// One component of a release.
struct ReleaseComponent {
  archive::UpdateComponentKind kind = archive::UpdateComponentKind::kApp;
  std::string name;     // in the server's file names and the metadata
  std::string version;  // eleven digits
  tail::ServerFiles files;
  const Component* source = nullptr;  // what to pack; points into the configuration
  /// True when the folder's archive of this version stays as it is and is not packed again.
  bool keep = false;
  /// The archive's length and SHA-256: of the kept file, or of the new one once written.
  FileDigest digest;
};

/// The components `config` publishes (tail::ServerComponentsFor), in the order of the
/// launcher's tail.
std::vector<ReleaseComponent> ReleaseComponentsOf(const BuildConfig& config);

/// What comparing a release with the folder's published one gave.
struct PublishedCheck {
  std::string problem;  // why the release may not be added; empty when it may
  /// The folder's metadata, verified with the key; none when the folder has none.
  std::optional<archive::UpdateMetadata> metadata;
};

/// Compares `release` with what `folder` (listed as `listing`) offers: the components of its
/// metadata, verified with `key`, or, when it has none, its version files. The application must
/// be newer than the published one; an updater or JRE of the published version keeps its
/// archive (`keep`, `digest`), once the archive is found to be the one the metadata names or,
/// without metadata, to verify with `key`; a lower version is refused. Metadata that does not
/// verify, or names another application, refuses the release too.
PublishedCheck CheckAgainstPublished(std::vector<ReleaseComponent>& release,
                                     const std::string& folder, const UpdateFolderListing& listing,
                                     const archive::PublicKey* key, const std::string& appName);

}  // namespace ferrolan::pack
