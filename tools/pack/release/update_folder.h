// An update folder as publish finds and changes it: which of its files are the server files a
// launcher asks for (the version files, the archives, the signed metadata) and which are
// leftovers of an interrupted publish; what its signed metadata and version files say; and the
// ways publish changes a folder that clients may be reading at that moment: a file is written
// under a temporary name and renamed over the old one when complete, and only archives that
// the metadata no longer names are ever removed.
//
// The shapes of the server's file names come from tail/payload_layout.h; the metadata's format
// from archive/update_metadata.h.
//
// Platforms: portable.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/update_metadata.h"

namespace ferrolan::pack {

/// The name a file of an update folder has until it is complete: "<name>.partial".
std::string TemporaryName(const std::string& name);

/// A folder's entries by kind, each list sorted by name.
struct UpdateFolderListing {
  bool hasMetadata = false;
  std::vector<std::string> versionFiles;
  std::vector<std::string> archives;
  std::vector<std::string> leftovers;  // temporary files of an interrupted publish
  std::vector<std::string> foreign;    // anything else, folders and links included

  bool empty() const {
    return !hasMetadata && versionFiles.empty() && archives.empty() && leftovers.empty() &&
           foreign.empty();
  }
};

/// Sorts the entries of `folder`, which must exist. None, with `*error` set, when it cannot be
/// listed.
std::optional<UpdateFolderListing> ListUpdateFolder(const std::string& folder, std::string* error);

/// The component and version of an archive's file name; none for any other name.
struct ArchiveNameParts {
  std::string component;
  std::string version;
};
std::optional<ArchiveNameParts> ParseArchiveName(std::string_view name);

/// A file's length and SHA-256 (64 lower-case hex digits), as the metadata names an archive.
struct FileDigest {
  std::uint64_t length = 0;
  std::string sha256;
  bool operator==(const FileDigest&) const = default;
};

/// None when the file cannot be read.
std::optional<FileDigest> DigestFile(const std::string& path);

/// Replaces `path`, or creates it: `write` makes the new file at the temporary name it is given
/// (TemporaryName(path)), which is renamed over `path` once `write` succeeded, so a reader sees
/// the old file or the new one. False, with `*error` set and the old file untouched, on
/// failure; `write` that fails sets `*error` itself.
bool ReplaceFileWith(const std::string& path,
                     const std::function<bool(const std::string& temporary)>& write,
                     std::string* error);

/// ReplaceFileWith for a file of `bytes`.
bool ReplaceFile(const std::string& path, std::string_view bytes, std::string* error);

/// The metadata file of `folder`, verified with `key` (none when the folder has no metadata).
std::optional<archive::MetadataReading> ReadFolderMetadata(const std::string& folder,
                                                           const archive::PublicKey* key);

/// Why a folder's metadata (as ReadFolderMetadata gave it) is not accepted, for a message that
/// begins with the file: "is not signed with the configured key", "is missing", ...
std::string MetadataProblem(const std::optional<archive::MetadataReading>& reading);

/// The version a version file holds, read as the launcher reads it (up to the first line end
/// or blank). None when the file is missing; `*malformed` is set when it holds no version.
std::optional<std::string> ReadVersionFile(const std::string& path, bool* malformed);

/// Removes from `folder` every archive of a component that `metadata` names at another
/// version. Nothing else is touched: not the archives the metadata names, nor those of
/// components it does not name (an older launcher may still ask for them through their
/// version files). The names removed; `*error` is set for the first that could not be.
std::vector<std::string> PruneArchives(const std::string& folder,
                                       const archive::UpdateMetadata& metadata, std::string* error);

}  // namespace ferrolan::pack
