// Writing a release into an update folder in the order that keeps the folder consistent for a
// client reading it meanwhile: the new archives first, then the version files that name them,
// then the signed metadata. Every file is written under a temporary name and renamed when
// complete, so no client reads half a file, and none is told of an archive that is not there.
//
// Platforms: portable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/update_metadata.h"
#include "pack/release/release_plan.h"

namespace ferrolan::archive {
class SigningKey;
}

namespace ferrolan::pack {

class ArchiveCache;

/// The terms a release is offered under (see archive/update_metadata.h).
struct ReleaseTerms {
  std::uint64_t expiresDays = 28;
  bool critical = false;
  std::string minimumVersion;  // the application's, eleven digits; empty for none
  int rollout = 100;
};

/// The current time, in seconds since 1970-01-01 UTC.
std::uint64_t SecondsSince1970();

/// The metadata version of a new metadata file: above the previous one, and at least `now`, so
/// it keeps growing even for a folder rebuilt without its metadata.
std::uint64_t NextMetadataVersion(std::optional<std::uint64_t> previous, std::uint64_t now);

/// The expiry of metadata signed `now` that is to last `days`.
std::uint64_t ExpiryAfter(std::uint64_t now, std::uint64_t days);

/// Signs `metadata` with `key` and replaces the folder's metadata file with it. False, with
/// `*error` set and the old file untouched, on failure.
bool WriteMetadataFile(const std::string& folder, const archive::UpdateMetadata& metadata,
                       const archive::SigningKey& key, std::string* error);

/// Writes `release` into `folder`: packs every component that is not kept (archived like
/// "build" packs it), then writes every version file, then, with a key, the metadata: the
/// general fields of `*metadata` with the components added. `metadata` is null without a key.
/// Failures are reported under "publish"; the archives added are taken back when the version
/// files have not been touched yet.
bool WriteRelease(const std::string& folder, std::vector<ReleaseComponent>& release,
                  const archive::SigningKey* key, const ArchiveCache* cache,
                  archive::UpdateMetadata* metadata);

}  // namespace ferrolan::pack
