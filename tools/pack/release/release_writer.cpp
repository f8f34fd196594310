#include "pack/release/release_writer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "archive/archive_writer.h"
#include "pack/archive/folder_archive.h"
#include "pack/cli/command_report.h"
#include "pack/format/payload_writer.h"
#include "pack/support/file_remover.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;

std::string PathIn(const std::string& folder, const std::string& name) {
  return (stdfs::path(folder) / name).string();
}

// Packs the component into its temporary name and renames it into place once complete; its
// length and SHA-256 are those of the file as written. The new archive is returned for removal
// should the release fail before the version files change; null after a failure (reported).
std::unique_ptr<FileRemover> AddArchive(const std::string& folder, ReleaseComponent& component,
                                        const archive::SigningKey* key, const ArchiveCache* cache) {
  const Component& source = *component.source;
  const std::string path = PathIn(folder, component.files.archive);
  FileRemover partial(TemporaryName(path));
  // The block form lets the launcher decode an archive on all cores while it streams in.
  ArchiveOptions options{source.folder, partial.path(), LzmaFormat::kXzBlocks,
                         key,           source.staged,  cache};
  std::printf("Packing %s into %s\n", source.folder.empty() ? "the updater" : source.folder.c_str(),
              component.files.archive.c_str());
  const ArchiveResult result = WriteFolderArchive(options);
  if (!result.ok()) {
    ReportArchiveFailure(result);
    ReportFailure("publish", component.files.archive + " could not be made");
    return nullptr;
  }
  const std::optional<FileDigest> digest = DigestFile(partial.path());
  if (!digest) {
    ReportFailure("publish", "cannot read " + partial.path());
    return nullptr;
  }
  std::error_code error;
  stdfs::rename(partial.path(), path, error);
  if (error) {
    ReportFailure("publish",
                  "cannot rename " + partial.path() + " to " + path + ": " + error.message());
    return nullptr;
  }
  partial.Release();
  component.digest = *digest;
  return std::make_unique<FileRemover>(path);
}

}  // namespace

std::uint64_t SecondsSince1970() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::seconds>(since).count());
}

std::uint64_t NextMetadataVersion(std::optional<std::uint64_t> previous, std::uint64_t now) {
  return previous ? std::max(*previous + 1, now) : now;
}

std::uint64_t ExpiryAfter(std::uint64_t now, std::uint64_t days) { return now + days * 86400; }

bool WriteMetadataFile(const std::string& folder, const archive::UpdateMetadata& metadata,
                       const archive::SigningKey& key, std::string* error) {
  const std::string file = archive::SignUpdateMetadata(metadata, key);
  if (file.empty()) {
    *error = "the update metadata cannot be written (a name or version it cannot carry)";
    return false;
  }
  return ReplaceFile(PathIn(folder, archive::kUpdateMetadataFileName), file, error);
}

bool WriteRelease(const std::string& folder, std::vector<ReleaseComponent>& release,
                  const archive::SigningKey* key, const ArchiveCache* cache,
                  archive::UpdateMetadata* metadata) {
  std::vector<std::unique_ptr<FileRemover>> added;
  for (ReleaseComponent& component : release) {
    if (component.keep) continue;
    added.push_back(AddArchive(folder, component, key, cache));
    if (!added.back()) return false;
  }
  // From here on a version file may name a new archive: they stay, whatever happens next.
  for (std::unique_ptr<FileRemover>& archive : added) archive->Release();

  std::string error;
  for (const ReleaseComponent& component : release) {
    const bool written = ReplaceFileWith(
        PathIn(folder, component.files.versionFile),
        [&](const std::string& temporary) {
          if (!WriteVersionFile(temporary, component.version)) error = "cannot write " + temporary;
          return error.empty();
        },
        &error);
    if (!written) {
      ReportFailure("publish", error);
      return false;
    }
  }
  if (!metadata || !key) return true;
  metadata->components.clear();
  for (const ReleaseComponent& component : release) {
    metadata->components.push_back({component.kind, component.name, component.version,
                                    component.files.archive, component.digest.length,
                                    component.digest.sha256});
  }
  if (!WriteMetadataFile(folder, *metadata, *key, &error)) {
    ReportFailure("publish", error);
    return false;
  }
  return true;
}

}  // namespace ferrolan::pack
