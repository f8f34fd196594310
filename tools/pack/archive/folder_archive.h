// Packing one folder into one archive, as a typed call: "archive" runs it after reading its
// command line, and "build" and "publish" run it for every folder they pack.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "pack/archive/lzma_encoder.h"

namespace ferrolan::pack {
class ArchiveCache;
}

namespace ferrolan::pack {

/// A file added to an archive beside the folder's own: from memory, or from a file on disk.
struct StagedFile {
  std::string name;     // the entry name, relative to the archive's root
  std::string content;  // the bytes, when `source` is empty
  std::string source;   // a file whose bytes become the entry
};

struct ArchiveOptions {
  std::string folder;  // every folder and file below it becomes an entry; may be empty
  std::string output;  // the archive; replaced only when the new one is complete
  LzmaFormat format = LzmaFormat::kLegacy;
  const archive::SigningKey* key = nullptr;  // null: an unsigned archive
  std::vector<StagedFile> staged = {};       // added after the folder's entries
  // Where an archive of the same entries, format and key is taken from instead of compressing
  // again, and where a new one is kept; null: always compress.
  const ArchiveCache* cache = nullptr;
};

struct ArchiveResult {
  int exitCode = 0;     // kExitOk, kExitFailed, or kExitUsage for an unusable folder or output
  std::string message;  // why it failed; empty on success
  std::uint64_t entryBytes = 0;       // the uncompressed entry stream
  std::uint64_t compressedBytes = 0;  // the archive file
  bool fromCache = false;             // copied from the archive cache, not compressed

  bool ok() const { return exitCode == 0; }
};

/// Writes the archive of `options.folder`. Prints what it does (notes about nested archives,
/// progress, the closing "Wrote ..." line and the warning for an unsigned archive) to standard
/// output and standard error, but leaves reporting a failure to the caller (ReportArchiveFailure).
ArchiveResult WriteFolderArchive(const ArchiveOptions& options);

/// Prints a failed result the way "archive" reports it and returns its exit code.
int ReportArchiveFailure(const ArchiveResult& result);

}  // namespace ferrolan::pack
