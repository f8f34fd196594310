// Packing one folder into one archive: the names checked up front, the entry stream written
// (and signed) to a temporary file, then compressed or taken from the archive cache.
#include "pack/archive/folder_archive.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "archive/archive_writer.h"
#include "archive/entry_format.h"
#include "fs/owned_file.h"
#include "pack/archive/archive_cache.h"
#include "pack/archive/lzma_encoder.h"
#include "pack/cli/command_report.h"
#include "pack/cli/usage.h"
#include "pack/support/file_remover.h"
#include "pack/support/progress.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;
// True when `inner` is `outer` or lies below it (both made absolute and normalised first).
bool IsWithin(const stdfs::path& inner, const stdfs::path& outer) {
  std::error_code ignored;
  stdfs::path a = stdfs::weakly_canonical(stdfs::absolute(inner), ignored);
  stdfs::path b = stdfs::weakly_canonical(stdfs::absolute(outer), ignored);
  stdfs::path relative = a.lexically_relative(b);
  return !relative.empty() && *relative.begin() != "..";
}

// Entry lengths and the signed byte count are read as signed 32-bit numbers by the launcher.
constexpr std::uint64_t kMaxEntryLength = 0x7FFFFFFF;

struct FolderScan {
  std::uint64_t contentBytes = 0;  // the 100 % of the progress bar
  std::string problem;             // the first name that cannot be carried, with the reason
  std::vector<std::string> nestedArchives;
};

// Looks at every name under `folder` before anything is written, so a name the launcher would
// misread fails the run up front with a clear message instead of a broken archive.
FolderScan ScanFolder(const std::string& folder) {
  FolderScan scan;
  std::error_code error;
  for (auto it = stdfs::recursive_directory_iterator(folder, error);
       !error && it != stdfs::recursive_directory_iterator(); it.increment(error)) {
    std::string relative = it->path().lexically_relative(folder).generic_string();
    std::string name = it->path().filename().string();
    if (scan.problem.empty()) {
      if (name.find('\\') != std::string::npos || !archive::IsSafeEntryPath(relative)) {
        // A backslash is a separator to the launcher: a file "a\b" would land in a folder "a".
        scan.problem = "\"" + relative + "\" cannot be carried in an archive (name not portable)";
      } else if (relative.starts_with(archive::kSpecialBlockPrefix)) {
        scan.problem = "\"" + relative + "\" begins with " +
                       std::string(archive::kSpecialBlockPrefix) +
                       ", which marks the archive's own blocks";
      }
    }
    std::error_code fileError;
    if (it->is_regular_file(fileError)) {
      std::uintmax_t size = it->file_size(fileError);
      if (!fileError) scan.contentBytes += size;
      if (!fileError && size > kMaxEntryLength && scan.problem.empty()) {
        scan.problem = "\"" + relative + "\" is larger than an entry can be (2 GiB - 1 bytes)";
      }
      if (relative.ends_with("p2.l2")) scan.nestedArchives.push_back(relative);
    }
  }
  if (error && scan.problem.empty())
    scan.problem = "cannot list " + folder + ": " + error.message();
  return scan;
}

ArchiveResult Failed(int exitCode, std::string message) {
  ArchiveResult result;
  result.exitCode = exitCode;
  result.message = std::move(message);
  return result;
}

// The folder must exist, and the output must not lie inside it.
std::optional<ArchiveResult> CheckFolderAndOutput(const ArchiveOptions& options) {
  if (options.folder.empty()) return std::nullopt;  // staged files only
  std::error_code fsError;
  if (!stdfs::is_directory(options.folder, fsError))
    return Failed(kExitUsage, "\"" + options.folder + "\" is not a folder");
  // The temporary entry stream and the output are written beside the output; inside the folder
  // being packed they would become part of the archive while it is written.
  const stdfs::path outputFolder = stdfs::path(options.output).parent_path();
  if (IsWithin(outputFolder.empty() ? stdfs::path(".") : outputFolder, options.folder))
    return Failed(kExitUsage, "the output must lie outside the folder being packed");
  return std::nullopt;
}

// Writes the (optionally signed) entry stream of the folder to `entriesPath`, and the digest of
// its entries (what the signature covers) to `entriesDigest`.
ArchiveResult WriteEntries(const ArchiveOptions& options, std::uint64_t contentBytes,
                           const std::string& entriesPath,
                           std::array<unsigned char, archive::kMixedDigestSize>* entriesDigest) {
  fs::OwnedFile entries = fs::OpenFile(entriesPath, "wb");
  if (!entries) return Failed(kExitFailed, "cannot create " + entriesPath);
  archive::ArchiveWriter writer([&](const void* data, std::size_t length) {
    return std::fwrite(data, 1, length, entries.get()) == length;
  });
  ProgressBar bar = ProgressBar::ForStdout("Collecting ", contentBytes);
  bool ok =
      options.folder.empty() ||
      writer.AddFolderTree(options.folder, {}, [&](std::uint64_t bytes) { bar.Advance(bytes); });
  for (const StagedFile& file : options.staged) {
    ok = ok && (file.source.empty() ? writer.AddFile(file.name, file.content)
                                    : writer.AddFileFromDisk(file.name, file.source));
  }
  *entriesDigest = writer.DigestSoFar();
  ok = ok && writer.Finish(options.key);
  bar.Finish();
  ArchiveResult result;
  result.entryBytes = writer.BytesWritten();
  bool closed = std::fclose(entries.release()) == 0;
  if (!ok && options.key && result.entryBytes > kMaxEntryLength) {
    return Failed(kExitFailed,
                  "a signed archive must stay below 2 GiB of entries; split the folder");
  }
  if (!ok || !closed) {
    return Failed(kExitFailed,
                  "cannot write the entries of " + options.folder + " to " + entriesPath);
  }
  return result;
}

// Compresses the entry stream into the output, through a partial file renamed when complete.
ArchiveResult CompressEntries(const ArchiveOptions& options, const std::string& entriesPath,
                              std::uint64_t entryBytes) {
  const std::string partialPath = options.output + ".partial";
  FileRemover removePartial(partialPath);
  std::string error;
  {
    ProgressBar bar = ProgressBar::ForStdout("Compressing", entryBytes);
    if (!CompressFileToLzma(
            entriesPath, partialPath, [&](std::uint64_t done) { bar.Set(done); }, &error,
            options.format)) {
      return Failed(kExitFailed, error);
    }
  }
  std::error_code fsError;
  stdfs::rename(partialPath, options.output, fsError);
  if (fsError) {
    return Failed(kExitFailed, "cannot rename " + partialPath + " to " + options.output + ": " +
                                   fsError.message());
  }
  removePartial.Release();
  ArchiveResult result;
  std::uintmax_t compressed = stdfs::file_size(options.output, fsError);
  result.compressedBytes = fsError ? 0 : compressed;
  return result;
}

}  // namespace

ArchiveResult WriteFolderArchive(const ArchiveOptions& options) {
  std::optional<ArchiveResult> problem = CheckFolderAndOutput(options);
  if (problem) return *problem;
  FolderScan scan = options.folder.empty() ? FolderScan{} : ScanFolder(options.folder);
  if (!scan.problem.empty()) return Failed(kExitFailed, scan.problem);
  for (const std::string& nested : scan.nestedArchives) {
    std::printf(
        "Note: %s will be extracted by the launcher as a nested archive, not written as "
        "a file\n",
        nested.c_str());
  }
  // Stage 1: the entry stream into a temporary file. Its size is the uncompressed size that the
  // compressed header must record, and the file keeps memory use flat for any folder size.
  const std::string entriesPath = options.output + ".entries.tmp";
  FileRemover removeEntries(entriesPath);
  ArchiveMaterial material{{}, 0, options.format, options.key};
  ArchiveResult result =
      WriteEntries(options, scan.contentBytes, entriesPath, &material.entriesDigest);
  if (!result.ok()) return result;
  material.entryBytes = result.entryBytes;
  const std::string cacheKey = options.cache ? ArchiveCache::KeyOf(material) : std::string();
  // Stage 2: compress into a partial file and give it its name only when complete, so an older
  // archive of the same name survives a failed run. An archive of the same entries, format and
  // key from the cache is as good: its signature covers the same bytes.
  if (options.cache && options.cache->Fetch(cacheKey, options.output)) {
    result.fromCache = true;
    std::error_code sizeError;
    result.compressedBytes = stdfs::file_size(options.output, sizeError);
  } else {
    ArchiveResult compressed = CompressEntries(options, entriesPath, result.entryBytes);
    if (!compressed.ok()) return compressed;
    result.compressedBytes = compressed.compressedBytes;
    if (options.cache) options.cache->Store(cacheKey, options.output);
  }
  std::printf("Wrote %s: %llu bytes of entries, %llu bytes compressed, %s%s\n",
              options.output.c_str(), static_cast<unsigned long long>(result.entryBytes),
              static_cast<unsigned long long>(result.compressedBytes),
              options.key
                  ? ("signed with a " + std::to_string(options.key->Bits()) + "-bit key").c_str()
                  : "unsigned",
              result.fromCache ? ", from the archive cache" : "");
  if (!options.key) {
    std::fprintf(stderr,
                 "ferrolan-pack archive: warning: no --key given; the launcher accepts an "
                 "unsigned archive without any check\n");
  }
  return result;
}

int ReportArchiveFailure(const ArchiveResult& result) {
  if (result.exitCode == kExitUsage)
    return ReportUsageError("archive", result.message, kArchiveUsage);
  return ReportFailure("archive", result.message);
}

}  // namespace ferrolan::pack
