// publish: releases in the update folder a vendor puts on the update server (archives, version
// files and the signed metadata), made from the same configuration or flags as the launcher.
#include "pack/release/publish_command.h"

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
#include "archive/update_metadata.h"
#include "pack/archive/archive_cache.h"
#include "pack/cli/cli.h"
#include "pack/cli/command_report.h"
#include "pack/cli/usage.h"
#include "pack/format/key_files.h"
#include "pack/format/payload_reader.h"
#include "pack/format/payload_writer.h"
#include "pack/release/build_config.h"
#include "pack/release/build_flags.h"
#include "pack/release/launch_staging.h"
#include "pack/release/release_plan.h"
#include "pack/release/release_writer.h"
#include "pack/release/update_folder.h"
#include "pack/support/file_remover.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;

// What the command line asks for.
struct PublishRequest {
  CommandLine line;
  std::string output;  // the folder, without a trailing separator
  bool force = false;
  bool prune = false;
  bool refresh = false;
  ReleaseTerms terms;
  bool rolloutGiven = false;
  std::string updaterJar;  // used when the configuration names no updater folder
  bool useCache = true;    // false with --no-cache
};

// The options --refresh takes: it packs nothing, so any other would be ignored.
constexpr std::string_view kRefreshOptions[] = {"--refresh",      "--config",  "--key",  "--output",
                                                "--expires-days", "--rollout", "--prune"};

std::optional<std::uint64_t> WholeNumberIn(const std::string& text, std::uint64_t low,
                                           std::uint64_t high) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const std::uint64_t value = std::stoull(text);
  if (value < low || value > high) return std::nullopt;
  return value;
}

std::string RefreshProblem(const CommandLine& line) {
  auto allowed = [](std::string_view name) {
    for (std::string_view option : kRefreshOptions)
      if (option == name) return true;
    return false;
  };
  for (const auto& [name, value] : line.values)
    if (!allowed(name)) return name + " cannot be combined with --refresh, which packs nothing";
  for (const std::string& name : line.flags)
    if (!allowed(name)) return name + " cannot be combined with --refresh, which packs nothing";
  if (line.Has("--config") == line.Has("--key"))
    return "--refresh needs the signing key: give --config FILE or --key KEY";
  return {};
}

// Reads the terms the release is offered under into `request`; the problem with them, if any.
std::string ReadTerms(const CommandLine& line, PublishRequest& request) {
  ReleaseTerms& terms = request.terms;
  if (line.Has("--expires-days")) {
    const std::optional<std::uint64_t> days = WholeNumberIn(line.Value("--expires-days"), 1, 366);
    if (!days) return "--expires-days must be a whole number of days from 1 to 366";
    terms.expiresDays = *days;
  }
  if (line.Has("--rollout")) {
    const std::optional<std::uint64_t> share = WholeNumberIn(line.Value("--rollout"), 0, 100);
    if (!share) return "--rollout must be a whole percentage from 0 to 100";
    terms.rollout = static_cast<int>(*share);
    request.rolloutGiven = true;
  }
  terms.critical = line.Has("--critical");
  if (!line.Has("--minimum-version")) return {};
  // The minimum is written the way the application's version is: digits in a configuration,
  // the dotted --app-version form with the flags.
  const std::string text = line.Value("--minimum-version");
  std::optional<std::string> version;
  if (UsesPackagingFlags(line)) {
    const std::optional<std::uint64_t> mapped = MapDottedVersion(text);
    if (mapped) version = NormalizeVersion(std::to_string(*mapped));
    if (!version) return "--minimum-version \"" + text + "\" must be written like --app-version";
  } else {
    version = NormalizeVersion(text);
    if (!version) return "--minimum-version \"" + text + "\" must be a version of 1 to 11 digits";
  }
  terms.minimumVersion = *version;
  return {};
}

// Reads the command line. None when the command ends here: `*exitCode` then says how (help
// was shown, or a usage error was reported).
std::optional<PublishRequest> ParsePublishArguments(const std::vector<std::string>& args,
                                                    int* exitCode) {
  std::optional<CommandLine> parsed =
      ParseCommandArguments(args, kPublishOptions, "publish", kPublishUsage, exitCode);
  if (!parsed) return std::nullopt;
  PublishRequest request;
  request.line = *parsed;
  const CommandLine& line = request.line;
  // "site/" names the folder "site": its partial sibling must not land inside it.
  stdfs::path output = stdfs::path(line.Value("--output")).lexically_normal();
  if (!output.empty() && !output.has_filename()) output = output.parent_path();
  request.output = output.string();
  request.force = line.Has("--force");
  request.prune = line.Has("--prune");
  request.refresh = line.Has("--refresh");
  request.updaterJar = line.Value("--updater-jar", DefaultUpdaterJar());
  request.useCache = !line.Has("--no-cache");
  std::string problem;
  if (!line.positionals.empty()) problem = "unexpected argument \"" + line.positionals[0] + "\"";
  if (problem.empty())
    problem = request.refresh ? RefreshProblem(line) : SettingsSourceProblem(line);
  if (problem.empty() && line.Value("--output").empty()) problem = "missing -o FOLDER";
  if (problem.empty() &&
      (output.filename() == "." || output.filename() == ".." || output.filename().empty())) {
    problem = "-o must name a folder of its own";
  }
  if (problem.empty()) problem = ReadTerms(line, request);
  if (!problem.empty()) {
    ReportUsageError("publish", problem, kPublishUsage);
    return std::nullopt;
  }
  return request;
}

// What the configuration must hold for the options given.
std::string ConfigurationProblem(const BuildConfig& config, const PublishRequest& request) {
  const std::string& minimum = request.terms.minimumVersion;
  if (!minimum.empty() && !config.app) return "--minimum-version needs an application to publish";
  if (!minimum.empty() &&
      archive::VersionValue(minimum) > archive::VersionValue(config.app->version)) {
    return "--minimum-version " + minimum + " is above the application's version " +
           config.app->version;
  }
  if (request.prune && config.key.empty())
    return "--prune follows the signed update metadata, which needs a key";
  return {};
}

// Where the release goes: into the folder itself, or into a new folder that takes its place.
struct Destination {
  bool intoExisting = false;
  UpdateFolderListing listing;
  std::optional<std::uint64_t> previousMetadataVersion;  // of the metadata a new folder replaces
};

// Looks at the output. None after reporting why nothing may be written there.
std::optional<Destination> ExamineOutput(const PublishRequest& request,
                                         const archive::PublicKey* key) {
  Destination destination;
  std::error_code error;
  const stdfs::file_status status = stdfs::status(request.output, error);
  if (!stdfs::exists(status)) return destination;
  if (!stdfs::is_directory(status)) {
    ReportFailure("publish", request.output + " exists and is not a folder");
    return std::nullopt;
  }
  std::string problem;
  std::optional<UpdateFolderListing> listing = ListUpdateFolder(request.output, &problem);
  if (!listing) {
    ReportFailure("publish", problem);
    return std::nullopt;
  }
  if (listing->empty()) return destination;
  if (request.force) {
    // A folder replaced as a whole still continues its metadata's versions: launchers refuse
    // metadata older than what they have seen.
    const std::optional<archive::MetadataReading> reading =
        key ? ReadFolderMetadata(request.output, key) : std::nullopt;
    if (reading && reading->status == archive::MetadataStatus::kOk) {
      destination.previousMetadataVersion = reading->metadata.metadataVersion;
    } else if (reading) {
      std::fprintf(stderr,
                   "ferrolan-pack publish: note: the update metadata of %s %s; the new "
                   "metadata does not continue its versions\n",
                   request.output.c_str(), MetadataProblem(reading).c_str());
    }
    return destination;
  }
  if (!listing->foreign.empty()) {
    ReportFailure("publish", request.output + " is not an update folder (it holds \"" +
                                 listing->foreign.front() + "\"); use --force to replace it");
    return std::nullopt;
  }
  destination.intoExisting = true;
  destination.listing = std::move(*listing);
  return destination;
}

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

// Writes the release into a new folder beside the output, which takes the output's place when
// complete.
bool WriteNewFolder(const std::string& output, std::vector<ReleaseComponent>& release,
                    const archive::SigningKey* key, const ArchiveCache* cache,
                    archive::UpdateMetadata* metadata) {
  FolderRemover partial(output + ".partial");
  if (!MakeFreshFolder(partial.path())) {
    ReportFailure("publish", "cannot create " + partial.path());
    return false;
  }
  if (!WriteRelease(partial.path(), release, key, cache, metadata)) return false;
  if (!PutInPlace(partial.path(), output)) return false;
  partial.Release();
  return true;
}

// Removes the archives the metadata no longer names, after the release is in place.
int Prune(const std::string& folder, const archive::UpdateMetadata& metadata) {
  std::string error;
  for (const std::string& name : PruneArchives(folder, metadata, &error))
    std::printf("Removed %s\n", name.c_str());
  return error.empty() ? kExitOk : ReportFailure("publish", error);
}

void PrintMetadata(const archive::UpdateMetadata& metadata, std::uint64_t expiresDays) {
  std::printf(
      "  %s: metadata version %llu, expires in %llu days, rollout %d%%%s%s%s\n",
      archive::kUpdateMetadataFileName, static_cast<unsigned long long>(metadata.metadataVersion),
      static_cast<unsigned long long>(expiresDays), metadata.rollout,
      metadata.critical ? ", critical" : "",
      metadata.minimumVersion.empty() ? "" : ", minimum version ", metadata.minimumVersion.c_str());
}

void PrintRelease(const std::string& output, const std::vector<ReleaseComponent>& release,
                  const archive::UpdateMetadata* metadata, std::uint64_t expiresDays) {
  std::printf("Wrote %s:\n", output.c_str());
  for (const ReleaseComponent& component : release) {
    std::printf("  %s (%llu bytes%s)\n  %s\n", component.files.archive.c_str(),
                static_cast<unsigned long long>(component.digest.length),
                component.keep ? ", published before and kept" : "",
                component.files.versionFile.c_str());
  }
  if (metadata) PrintMetadata(*metadata, expiresDays);
}

// publish --refresh: the metadata signed again with a new expiry and a higher version.
int RunRefresh(const PublishRequest& request) {
  std::unique_ptr<archive::SigningKey> key;
  std::string appName;
  if (request.line.Has("--config")) {
    std::optional<BuildConfig> config =
        LoadBuildConfig(request.line.Value("--config"), "publish", kPublishUsage);
    if (!config) return kExitUsage;
    if (config->key.empty()) {
      return ReportUsageError("publish",
                              "--refresh signs the metadata, and the configuration "
                              "has no key",
                              kPublishUsage);
    }
    bool failed = false;
    key = LoadConfiguredKey(*config, "publish", &failed);
    if (!key) return kExitFailed;
    appName = config->fields.appName;
  } else {
    std::string error;
    key = LoadSigningKey(request.line.Value("--key"), &error);
    if (!key) return ReportFailure("publish", error);
  }
  const std::unique_ptr<archive::PublicKey> publicKey = ImportTailKey(key->PublicHex());
  const std::optional<archive::MetadataReading> reading =
      ReadFolderMetadata(request.output, publicKey.get());
  if (!reading) {
    return ReportFailure("publish", request.output + " holds no update metadata (" +
                                        archive::kUpdateMetadataFileName + ") to refresh");
  }
  if (reading->status != archive::MetadataStatus::kOk) {
    return ReportFailure("publish", "the update metadata of " + request.output + " " +
                                        MetadataProblem(reading) + "; it is left as it is");
  }
  archive::UpdateMetadata metadata = reading->metadata;
  if (!appName.empty() && metadata.appName != appName) {
    return ReportFailure("publish", "the update metadata of " + request.output +
                                        " is for the application \"" + metadata.appName +
                                        "\", not \"" + appName + "\"");
  }
  const std::uint64_t now = SecondsSince1970();
  metadata.metadataVersion = NextMetadataVersion(metadata.metadataVersion, now);
  metadata.expires = ExpiryAfter(now, request.terms.expiresDays);
  if (request.rolloutGiven) metadata.rollout = request.terms.rollout;
  std::string error;
  if (!WriteMetadataFile(request.output, metadata, *key, &error))
    return ReportFailure("publish", error);
  std::printf("Refreshed %s:\n", request.output.c_str());
  PrintMetadata(metadata, request.terms.expiresDays);
  return request.prune ? Prune(request.output, metadata) : kExitOk;
}

}  // namespace

int RunPublish(const std::vector<std::string>& args) {
  int exitCode = kExitOk;
  std::optional<PublishRequest> request = ParsePublishArguments(args, &exitCode);
  if (!request) return exitCode;
  if (request->refresh) return RunRefresh(*request);
  std::string source;
  std::optional<BuildConfig> config =
      LoadCommandConfig(request->line, "publish", kPublishUsage, &source);
  if (!config) return kExitUsage;
  if (std::string problem = ConfigurationProblem(*config, *request); !problem.empty())
    return ReportUsageError("publish", problem, kPublishUsage);
  if (!CheckInputsExist(*config, source, Inputs::kFoldersAndKey, "publish")) return kExitUsage;
  config->updaterJar = request->updaterJar;
  if (!StageLaunchFiles(*config, source, "publish")) return kExitUsage;
  StageCarriedUpdaterFiles(*config);
  // The online launcher asks for the JRE named in its Params: a mismatch is worth a warning.
  AddJreNameParam(*config, "publish");
  bool keyFailed = false;
  std::unique_ptr<archive::SigningKey> key = LoadConfiguredKey(*config, "publish", &keyFailed);
  if (keyFailed) return kExitFailed;
  std::unique_ptr<archive::PublicKey> publicKey;
  if (key) {
    publicKey = ImportTailKey(key->PublicHex());
  } else {
    std::fprintf(stderr,
                 "ferrolan-pack publish: warning: without a key the folder gets no signed update "
                 "metadata (%s): installed launchers find no update in it\n",
                 archive::kUpdateMetadataFileName);
  }

  std::optional<Destination> destination = ExamineOutput(*request, publicKey.get());
  if (!destination) return kExitFailed;
  std::vector<ReleaseComponent> release = ReleaseComponentsOf(*config);
  if (destination->intoExisting) {
    const PublishedCheck check = CheckAgainstPublished(
        release, request->output, destination->listing, publicKey.get(), config->fields.appName);
    if (!check.problem.empty()) return ReportFailure("publish", check.problem);
    if (check.metadata) destination->previousMetadataVersion = check.metadata->metadataVersion;
  }
  const std::uint64_t now = SecondsSince1970();
  archive::UpdateMetadata metadata;
  metadata.appName = config->fields.appName;
  metadata.metadataVersion = NextMetadataVersion(destination->previousMetadataVersion, now);
  metadata.expires = ExpiryAfter(now, request->terms.expiresDays);
  metadata.critical = request->terms.critical;
  metadata.minimumVersion = request->terms.minimumVersion;
  metadata.rollout = request->terms.rollout;
  archive::UpdateMetadata* signedMetadata = key ? &metadata : nullptr;

  const ArchiveCache cache = ArchiveCache::ForUser();
  const ArchiveCache* useCache = request->useCache ? &cache : nullptr;
  if (destination->intoExisting) {
    for (const std::string& leftover : destination->listing.leftovers) {
      std::error_code ignored;
      stdfs::remove(stdfs::path(request->output) / leftover, ignored);
    }
    if (!WriteRelease(request->output, release, key.get(), useCache, signedMetadata))
      return kExitFailed;
  } else if (!WriteNewFolder(request->output, release, key.get(), useCache, signedMetadata)) {
    return kExitFailed;
  }
  PrintRelease(request->output, release, signedMetadata, request->terms.expiresDays);
  return request->prune ? Prune(request->output, metadata) : kExitOk;
}

}  // namespace ferrolan::pack
