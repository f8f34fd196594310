// publish: the update folder, the version files and signed archives a vendor puts on the update
// server, made from the same configuration as the launcher.
#include "pack/release/publish_command.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "archive/archive_writer.h"
#include "pack/archive/archive_cache.h"
#include "pack/archive/folder_archive.h"
#include "pack/cli/cli.h"
#include "pack/cli/command_report.h"
#include "pack/cli/usage.h"
#include "pack/format/payload_writer.h"
#include "pack/release/build_config.h"
#include "pack/release/launch_staging.h"
#include "pack/support/file_remover.h"
#include "tail/payload_layout.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;

// What the command line asks for.
struct PublishRequest {
  std::string configPath;
  std::string output;  // the folder, without a trailing separator
  bool force = false;
  std::string updaterJar;  // used when the configuration names no updater folder
  bool useCache = true;    // false with --no-cache
};

// Reads the command line. None when the command ends here: `*exitCode` then says how (help
// was shown, or a usage error was reported).
std::optional<PublishRequest> ParsePublishArguments(const std::vector<std::string>& args,
                                                    int* exitCode) {
  std::optional<CommandLine> parsed =
      ParseCommandArguments(args, kPublishOptions, "publish", kPublishUsage, exitCode);
  if (!parsed) return std::nullopt;
  const CommandLine& line = *parsed;
  // "site/" names the folder "site": its partial sibling must not land inside it.
  stdfs::path output = stdfs::path(line.Value("--output")).lexically_normal();
  if (!output.empty() && !output.has_filename()) output = output.parent_path();
  std::string problem;
  if (!line.positionals.empty()) problem = "unexpected argument \"" + line.positionals[0] + "\"";
  PublishRequest request{line.Value("--config"), output.string(), line.Has("--force"),
                         line.Value("--updater-jar", DefaultUpdaterJar()), !line.Has("--no-cache")};
  if (problem.empty() && request.configPath.empty()) problem = "missing --config FILE";
  if (problem.empty() && line.Value("--output").empty()) problem = "missing -o FOLDER";
  if (problem.empty() &&
      (output.filename() == "." || output.filename() == ".." || output.filename().empty())) {
    problem = "-o must name a folder of its own";
  }
  if (!problem.empty()) {
    ReportUsageError("publish", problem, kPublishUsage);
    return std::nullopt;
  }
  return request;
}

// An update folder is replaced as a whole, so files left over from an older upload cannot be
// mistaken for part of the new one; replacing a folder that holds anything needs --force.
bool OutputMayBeWritten(const PublishRequest& request) {
  std::error_code error;
  const stdfs::file_status status = stdfs::status(request.output, error);
  if (!stdfs::exists(status)) return true;
  if (!stdfs::is_directory(status)) {
    ReportFailure("publish", request.output + " exists and is not a folder");
    return false;
  }
  if (!request.force && !stdfs::is_empty(request.output, error)) {
    ReportFailure("publish", request.output + " is not empty; use --force to replace it");
    return false;
  }
  return true;
}

// Writes every component's version file and archive into the partial folder. Failures are
// reported here.
class UpdateFolderWriter {
 public:
  UpdateFolderWriter(const BuildConfig& config, const archive::SigningKey* key,
                     const std::string& folder, const ArchiveCache* cache)
      : config_(config), key_(key), folder_(folder), cache_(cache) {}

  // The names written, in the order of the launcher's tail.
  std::optional<std::vector<std::string>> Write() {
    std::vector<std::string> written;
    const std::string jreName = config_.jre ? config_.jre->name : std::string();
    for (tail::ServerComponent component : tail::ServerComponentsFor(config_.fields)) {
      const tail::ServerFiles files = tail::ServerFilesFor(component, config_.fields, jreName);
      const Component& source = SourceOf(component);
      if (!WriteArchive(source, files.archive)) return std::nullopt;
      if (!WriteVersionFile(PathOf(files.versionFile), source.version)) {
        ReportFailure("publish", "cannot write " + PathOf(files.versionFile));
        return std::nullopt;
      }
      written.push_back(files.versionFile);
      written.push_back(files.archive);
    }
    return written;
  }

 private:
  const Component& SourceOf(tail::ServerComponent component) const {
    switch (component) {
      case tail::ServerComponent::kJre:
        return *config_.jre;
      case tail::ServerComponent::kApp:
        return *config_.app;
      case tail::ServerComponent::kUpdater:
        break;
    }
    return config_.updater;
  }

  std::string PathOf(const std::string& name) const {
    return (stdfs::path(folder_) / name).string();
  }

  bool WriteArchive(const Component& source, const std::string& name) {
    // The block form lets the launcher decode an archive on all cores while it streams in.
    ArchiveOptions options{source.folder, PathOf(name),  LzmaFormat::kXzBlocks,
                           key_,          source.staged, cache_};
    std::printf("Packing %s into %s\n",
                source.folder.empty() ? "the updater" : source.folder.c_str(), name.c_str());
    ArchiveResult result = WriteFolderArchive(options);
    if (!result.ok()) {
      ReportArchiveFailure(result);
      ReportFailure("publish", name + " could not be made");
      return false;
    }
    return true;
  }

  const BuildConfig& config_;
  const archive::SigningKey* key_;
  const std::string folder_;
  const ArchiveCache* cache_;
};

// Gives the complete folder the output's name. A folder already there is moved aside first
// and removed only once the new one is in place, so a failure leaves it as it was.
bool PutInPlace(const std::string& partial, const std::string& output) {
  std::error_code error;
  const bool replacing = stdfs::exists(output, error);
  FolderRemover old(replacing ? output + ".old" : std::string());
  if (replacing) {
    stdfs::remove_all(old.path(), error);
    stdfs::rename(output, old.path(), error);
    if (error) {
      old.Release();
      ReportFailure("publish", "cannot move " + output + " aside: " + error.message());
      return false;
    }
  }
  stdfs::rename(partial, output, error);
  if (error) {
    ReportFailure("publish", "cannot rename " + partial + " to " + output + ": " + error.message());
    if (replacing) {
      std::error_code ignored;
      stdfs::rename(old.path(), output, ignored);
      old.Release();  // kept where it is should the way back have failed too
    }
    return false;
  }
  return true;
}

}  // namespace

int RunPublish(const std::vector<std::string>& args) {
  int exitCode = kExitOk;
  std::optional<PublishRequest> request = ParsePublishArguments(args, &exitCode);
  if (!request) return exitCode;
  std::optional<BuildConfig> config =
      LoadBuildConfig(request->configPath, "publish", kPublishUsage);
  if (!config) return kExitUsage;
  if (!CheckInputsExist(*config, request->configPath, Inputs::kFoldersAndKey, "publish"))
    return kExitUsage;
  config->updaterJar = request->updaterJar;
  if (!StageLaunchFiles(*config, request->configPath, "publish")) return kExitUsage;
  // The online launcher asks for the JRE named in its Params: a mismatch is worth a warning.
  AddJreNameParam(*config, "publish");
  if (!OutputMayBeWritten(*request)) return kExitFailed;
  bool keyFailed = false;
  std::unique_ptr<archive::SigningKey> key = LoadConfiguredKey(*config, "publish", &keyFailed);
  if (keyFailed) return kExitFailed;

  const ArchiveCache cache = ArchiveCache::ForUser();
  FolderRemover partial(request->output + ".partial");
  if (!MakeFreshFolder(partial.path()))
    return ReportFailure("publish", "cannot create " + partial.path());
  std::optional<std::vector<std::string>> written =
      UpdateFolderWriter(*config, key.get(), partial.path(), request->useCache ? &cache : nullptr)
          .Write();
  if (!written) return kExitFailed;
  if (!PutInPlace(partial.path(), request->output)) return kExitFailed;
  partial.Release();

  std::printf("Wrote %s: %zu files\n", request->output.c_str(), written->size());
  for (const std::string& name : *written) std::printf("  %s\n", name.c_str());
  return kExitOk;
}

}  // namespace ferrolan::pack
