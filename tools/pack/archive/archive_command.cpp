// archive: a folder into one compressed, optionally signed archive.
#include "pack/archive/archive_command.h"

#include <memory>
#include <optional>
#include <string>

#include "archive/archive_writer.h"
#include "pack/archive/archive_cache.h"
#include "pack/archive/folder_archive.h"
#include "pack/archive/lzma_encoder.h"
#include "pack/cli/cli.h"
#include "pack/cli/command_report.h"
#include "pack/cli/usage.h"
#include "pack/format/key_files.h"

namespace ferrolan::pack {

int RunArchive(const std::vector<std::string>& args) {
  int exitCode = kExitUsage;
  std::optional<CommandLine> parsed =
      ParseCommandArguments(args, kArchiveOptions, "archive", kArchiveUsage, &exitCode);
  if (!parsed) return exitCode;
  const CommandLine& line = *parsed;
  if (line.positionals.empty()) return ReportUsageError("archive", "missing FOLDER", kArchiveUsage);
  if (line.positionals.size() > 1) {
    return ReportUsageError("archive", "unexpected argument \"" + line.positionals[1] + "\"",
                            kArchiveUsage);
  }
  ArchiveOptions options;
  options.folder = line.positionals[0];
  options.output = line.Value("--output");
  if (options.output.empty()) return ReportUsageError("archive", "missing -o FILE", kArchiveUsage);
  std::optional<LzmaFormat> format = ParseLzmaFormat(line.Value("--format", "lzma"));
  if (!format) {
    return ReportUsageError("archive", "--format must be \"lzma\" or \"xz\"", kArchiveUsage);
  }
  options.format = *format;
  std::unique_ptr<archive::SigningKey> key;
  if (line.Has("--key")) {
    std::string error;
    key = LoadSigningKey(line.Value("--key"), &error);
    if (!key) return ReportFailure("archive", error);
    options.key = key.get();
  }
  const ArchiveCache cache = ArchiveCache::ForUser();
  if (!line.Has("--no-cache")) options.cache = &cache;
  ArchiveResult result = WriteFolderArchive(options);
  return result.ok() ? kExitOk : ReportArchiveFailure(result);
}

}  // namespace ferrolan::pack
