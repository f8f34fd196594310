// build: a packaged launcher from a JSON configuration.
#include "pack/release/build_command.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "archive/archive_writer.h"
#include "pack/archive/archive_cache.h"
#include "pack/archive/folder_archive.h"
#include "pack/cli/cli.h"
#include "pack/cli/command_report.h"
#include "pack/cli/usage.h"
#include "pack/format/payload_writer.h"
#include "pack/release/build_config.h"
#include "pack/release/build_flags.h"
#include "pack/release/launch_staging.h"
#include "pack/support/file_remover.h"
#include "pack/support/self_path.h"
#include "tail/payload_layout.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;

// The shipping image beside the packager (stripped, without the code the launcher never
// calls), else the launcher as built.
std::string DefaultLauncherImage() {
  std::string self = OwnExecutablePath();
  if (self.empty()) return "ferrolan";
  stdfs::path own(self);
  const stdfs::path ship = own.parent_path() / ("ferrolan-ship" + own.extension().string());
  std::error_code error;
  if (stdfs::is_regular_file(ship, error)) return ship.string();
  return (own.parent_path() / ("ferrolan" + own.extension().string())).string();
}

// What the command line asks for.
struct BuildRequest {
  std::string output;
  std::optional<std::string> launcher;  // --launcher, which overrides the configuration
  std::optional<std::string> updaterJar;
  CommandLine line;
};

// Reads the command line. None when the command ends here: `*exitCode` then says how (help
// was shown, or a usage error was reported).
std::optional<BuildRequest> ParseBuildArguments(const std::vector<std::string>& args,
                                                int* exitCode) {
  std::optional<CommandLine> parsed =
      ParseCommandArguments(args, kBuildOptions, "build", kBuildUsage, exitCode);
  if (!parsed) return std::nullopt;
  const CommandLine& line = *parsed;
  std::string problem;
  if (!line.positionals.empty()) problem = "unexpected argument \"" + line.positionals[0] + "\"";
  BuildRequest request{line.Value("--output"), std::nullopt, std::nullopt, line};
  if (problem.empty()) problem = SettingsSourceProblem(line);
  if (problem.empty() && request.output.empty()) problem = "missing -o OUTPUT";
  if (!problem.empty()) {
    ReportUsageError("build", problem, kBuildUsage);
    return std::nullopt;
  }
  if (line.Has("--launcher")) request.launcher = line.Value("--launcher");
  if (line.Has("--updater-jar")) request.updaterJar = line.Value("--updater-jar");
  return request;
}

// Makes the archives and version files in the work folder and lists every tail entry in the
// order the launcher consumes them. Failures are reported here.
class PayloadAssembler {
 public:
  PayloadAssembler(const BuildConfig& config, const archive::SigningKey* key,
                   const FolderRemover& work, const ArchiveCache* cache)
      : config_(config), key_(key), work_(work), cache_(cache) {}

  std::optional<LauncherPayload> Assemble() {
    LauncherPayload payload;
    payload.imagePath = config_.launcher;
    payload.fields = config_.fields;
    payload.params = config_.params;
    const std::string jreName = config_.jre ? config_.jre->name : std::string();
    for (tail::TailEntry entry : tail::TailEntriesFor(config_.fields)) {
      const std::string name = tail::TailEntryName(entry, config_.fields, jreName);
      if (!AddEntry(payload, entry, name)) return std::nullopt;
    }
    return payload;
  }

 private:
  // The tail entry `entry` under `name`: a file the configuration names, or an archive or a
  // version file made here.
  bool AddEntry(LauncherPayload& payload, tail::TailEntry entry, const std::string& name) {
    using tail::TailEntry;
    switch (entry) {
      case TailEntry::kLzma:
        return AddCarriedFile(payload, config_.lzmaExe, name);
      case TailEntry::kSplash:
        return AddCarriedFile(payload, config_.splashImage, name);
      case TailEntry::kCacerts:
        return AddCarriedFile(payload, config_.cacerts, name);
      case TailEntry::kUpdaterArchive:
        return AddArchive(payload, config_.updater, name, "the updater archive could not be made");
      case TailEntry::kUpdaterVersion:
        return AddVersionFile(payload, config_.updater.version, name);
      case TailEntry::kJreArchive:
        return AddArchive(payload, *config_.jre, name, "the JRE archive could not be made");
      case TailEntry::kAppArchive:
        return AddArchive(payload, *config_.app, name, "the application archive could not be made");
      case TailEntry::kAppVersion:
        return AddVersionFile(payload, config_.app->version, name);
    }
    return false;
  }

  // A file the configuration names, or a stand-in: the launcher installs no file for an empty
  // entry, so without a splash image it shows none and without a trust store every runtime
  // keeps its own. lzma.exe is different: on Windows the launcher makes the extracted file a
  // windowed program and stops when it cannot, so its stand-in is a bare PE header (see
  // LzmaPlaceholder), which that patch accepts and which nothing runs.
  bool AddCarriedFile(LauncherPayload& payload, const std::string& path, const std::string& name) {
    if (!path.empty()) {
      payload.entries.push_back({name, path});
      return true;
    }
    const std::string standIn = (stdfs::path(work_.path()) / name).string();
    const std::string content = name == tail::kLzmaFileName ? LzmaPlaceholder() : std::string();
    if (!WriteWholeFile(standIn, content)) {
      ReportFailure("build", "cannot write " + standIn);
      return false;
    }
    payload.entries.push_back({name, standIn});
    return true;
  }

  static bool WriteWholeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    return static_cast<bool>(out);
  }

  bool AddArchive(LauncherPayload& payload, const Component& component, const std::string& name,
                  const char* failure) {
    // Only the launcher reads the archives it carries, so they take the form it decodes on
    // all cores.
    ArchiveOptions options{component.folder,      (stdfs::path(work_.path()) / name).string(),
                           LzmaFormat::kXzBlocks, key_,
                           component.staged,      cache_};
    std::printf("Packing %s into %s\n",
                component.folder.empty() ? "the updater" : component.folder.c_str(), name.c_str());
    ArchiveResult result = WriteFolderArchive(options);
    if (!result.ok()) {
      ReportArchiveFailure(result);
      ReportFailure("build", failure);
      return false;
    }
    payload.entries.push_back({name, options.output});
    return true;
  }

  bool AddVersionFile(LauncherPayload& payload, const std::string& version,
                      const std::string& name) {
    std::string path = (stdfs::path(work_.path()) / name).string();
    if (!WriteVersionFile(path, version)) {
      ReportFailure("build", "cannot write " + name);
      return false;
    }
    payload.entries.push_back({name, path});
    return true;
  }

  const BuildConfig& config_;
  const archive::SigningKey* key_;
  const FolderRemover& work_;
  const ArchiveCache* cache_;
};

int WriteOutput(const LauncherPayload& payload, const std::string& output) {
  std::string error;
  std::optional<PayloadLayout> layout = WriteLauncherFile(payload, output, &error);
  if (!layout) return ReportFailure("build", error);
  std::printf("Wrote %s: %llu bytes (image %llu, tail at %llu, %zu entries, %zu Params at %llu)\n",
              output.c_str(), static_cast<unsigned long long>(layout->fileSize),
              static_cast<unsigned long long>(layout->imageSize),
              static_cast<unsigned long long>(layout->tailMarkerOffset), payload.entries.size(),
              payload.params.size(), static_cast<unsigned long long>(layout->paramsMarkerOffset));
  return kExitOk;
}

}  // namespace

int RunBuild(const std::vector<std::string>& args) {
  int exitCode = kExitOk;
  std::optional<BuildRequest> request = ParseBuildArguments(args, &exitCode);
  if (!request) return exitCode;
  std::string source;
  std::optional<BuildConfig> config =
      LoadCommandConfig(request->line, "build", kBuildUsage, &source);
  if (!config) return kExitUsage;
  if (request->launcher) config->launcher = *request->launcher;
  if (config->launcher.empty()) config->launcher = DefaultLauncherImage();
  std::error_code sizeError;
  const std::uintmax_t imageSize = stdfs::file_size(config->launcher, sizeError);
  if (!sizeError) {
    std::printf("Launcher image %s (%llu bytes)\n", config->launcher.c_str(),
                static_cast<unsigned long long>(imageSize));
  }
  config->updaterJar = request->updaterJar.value_or(DefaultUpdaterJar());
  if (!CheckInputsExist(*config, source, Inputs::kEverything, "build")) return kExitUsage;
  if (!StageLaunchFiles(*config, source, "build")) return kExitUsage;
  AddJreNameParam(*config, "build");
  bool keyFailed = false;
  std::unique_ptr<archive::SigningKey> key = LoadConfiguredKey(*config, "build", &keyFailed);
  if (keyFailed) return kExitFailed;

  FolderRemover work(request->output + ".work");
  if (!MakeFreshFolder(work.path())) return ReportFailure("build", "cannot create " + work.path());
  const ArchiveCache cache = ArchiveCache::ForUser();
  const ArchiveCache* useCache = request->line.Has("--no-cache") ? nullptr : &cache;
  std::optional<LauncherPayload> payload =
      PayloadAssembler(*config, key.get(), work, useCache).Assemble();
  if (!payload) return kExitFailed;
  return WriteOutput(*payload, request->output);
}

}  // namespace ferrolan::pack
