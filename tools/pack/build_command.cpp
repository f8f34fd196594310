// build: a packaged launcher from a JSON configuration.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "archive/archive_writer.h"
#include "archive_command.h"
#include "build_config.h"
#include "cli.h"
#include "commands.h"
#include "file_remover.h"
#include "payload_writer.h"
#include "self_path.h"
#include "tail/payload_layout.h"
#include "usage.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;

std::string DefaultLauncherImage() {
  std::string self = OwnExecutablePath();
  if (self.empty()) return "ferrolan";
  stdfs::path own(self);
  return (own.parent_path() / ("ferrolan" + own.extension().string())).string();
}

// What the command line asks for.
struct BuildRequest {
  std::string configPath;
  std::string output;
  std::optional<std::string> launcher;  // --launcher, which overrides the configuration
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
  BuildRequest request{line.Value("--config"), line.Value("--output"), std::nullopt};
  if (problem.empty() && request.configPath.empty()) problem = "missing --config FILE";
  if (problem.empty() && request.output.empty()) problem = "missing -o OUTPUT";
  if (!problem.empty()) {
    ReportUsageError("build", problem, kBuildUsage);
    return std::nullopt;
  }
  if (line.Has("--launcher")) request.launcher = line.Value("--launcher");
  return request;
}

// Makes the archives and version files in the work folder and lists every tail entry in the
// order the launcher consumes them. Failures are reported here.
class PayloadAssembler {
 public:
  PayloadAssembler(const BuildConfig& config, const archive::SigningKey* key,
                   const FolderRemover& work)
      : config_(config), key_(key), work_(work) {}

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
        payload.entries.push_back({name, config_.lzmaExe});
        return true;
      case TailEntry::kSplash:
        payload.entries.push_back({name, config_.splashImage});
        return true;
      case TailEntry::kCacerts:
        payload.entries.push_back({name, config_.cacerts});
        return true;
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

  bool AddArchive(LauncherPayload& payload, const Component& component, const std::string& name,
                  const char* failure) {
    // Only the launcher reads the archives it carries, so they take the form it decodes on
    // all cores.
    ArchiveOptions options{component.folder, (stdfs::path(work_.path()) / name).string(),
                           LzmaFormat::kXzBlocks, key_};
    std::printf("Packing %s into %s\n", component.folder.c_str(), name.c_str());
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
  std::optional<BuildConfig> config = LoadBuildConfig(request->configPath, "build", kBuildUsage);
  if (!config) return kExitUsage;
  if (request->launcher) config->launcher = *request->launcher;
  if (config->launcher.empty()) config->launcher = DefaultLauncherImage();
  if (!CheckInputsExist(*config, request->configPath, Inputs::kEverything, "build"))
    return kExitUsage;
  AddJreNameParam(*config, "build");
  bool keyFailed = false;
  std::unique_ptr<archive::SigningKey> key = LoadConfiguredKey(*config, "build", &keyFailed);
  if (keyFailed) return kExitFailed;

  FolderRemover work(request->output + ".work");
  if (!MakeFreshFolder(work.path())) return ReportFailure("build", "cannot create " + work.path());
  std::optional<LauncherPayload> payload = PayloadAssembler(*config, key.get(), work).Assemble();
  if (!payload) return kExitFailed;
  return WriteOutput(*payload, request->output);
}

}  // namespace ferrolan::pack
