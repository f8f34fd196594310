// build: a packaged launcher from a JSON configuration.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "archive/archive_writer.h"
#include "archive/entry_format.h"
#include "archive_command.h"
#include "cli.h"
#include "commands.h"
#include "json_reader.h"
#include "payload_writer.h"
#include "self_path.h"
#include "tail/payload_layout.h"
#include "usage.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;
// A configuration problem: reported with exit code 2, since the vendor has to fix the file.
struct ConfigError {
  std::string message;
};

struct Component {
  std::string name;  // JRE only
  std::string version;
  std::string folder;
};

struct BuildConfig {
  std::string launcher;
  tail::TailFields fields;
  std::string key;
  std::string lzmaExe;
  std::string splashImage;
  std::string cacerts;
  Component updater;
  std::optional<Component> jre;
  std::optional<Component> app;
  std::vector<Param> params;
};

// Reads the members of one object, refusing names it does not know: a misspelt setting would
// otherwise be dropped without a word.
class ObjectReader {
 public:
  ObjectReader(const Json& object, std::string where) : object_(object), where_(std::move(where)) {}

  const Json* Get(std::string_view name) {
    known_.emplace_back(name);
    auto it = object_.find(name);
    return it == object_.end() ? nullptr : &*it;
  }

  std::optional<std::string> String(std::string_view name, bool required) {
    const Json* value = Get(name);
    if (value == nullptr) {
      if (required) throw ConfigError{"missing \"" + Path(name) + "\""};
      return std::nullopt;
    }
    if (!value->is_string()) {
      throw ConfigError{"\"" + Path(name) + "\" must be a string, not " + JsonKindName(*value)};
    }
    return value->get<std::string>();
  }

  // A whole non-negative number, given as a JSON number or as a string of digits.
  std::optional<std::string> Digits(std::string_view name, bool required) {
    const Json* value = Get(name);
    if (value == nullptr) {
      if (required) throw ConfigError{"missing \"" + Path(name) + "\""};
      return std::nullopt;
    }
    std::string text;
    if (value->is_number_unsigned()) text = std::to_string(value->get<std::uint64_t>());
    if (value->is_string()) text = value->get<std::string>();
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
      throw ConfigError{"\"" + Path(name) + "\" must be a whole number of digits"};
    return text;
  }

  void RefuseUnknown() const {
    for (const auto& member : object_.items()) {
      bool known = false;
      for (const std::string& k : known_) known = known || k == member.key();
      if (!known) throw ConfigError{"unknown setting \"" + Path(member.key()) + "\""};
    }
  }

  std::string Path(std::string_view name) const {
    return where_.empty() ? std::string(name) : where_ + "." + std::string(name);
  }

 private:
  const Json& object_;
  std::string where_;
  std::vector<std::string> known_;
};

std::string Resolve(const stdfs::path& base, const std::string& path) {
  if (path.empty()) return path;
  stdfs::path p(path);
  return p.is_absolute() ? p.string() : (base / p).lexically_normal().string();
}

std::string Version(ObjectReader& reader, const char* name) {
  std::string text = *reader.Digits(name, true);
  std::optional<std::string> version = NormalizeVersion(text);
  if (!version) {
    throw ConfigError{"\"" + reader.Path(name) + "\" must have 1 to 11 digits (it is written " +
                      "with eleven digits)"};
  }
  return *version;
}

// A name that becomes part of an entry name must be a single, portable path component.
void CheckNamePart(const std::string& text, const std::string& setting) {
  if (text.empty() || text.find_first_of("/\\:") != std::string::npos ||
      !archive::IsSafeEntryPath(text)) {
    throw ConfigError{"\"" + setting + "\" must be a plain name (no \"/\", \"\\\" or \":\")"};
  }
}

Component ReadComponent(const Json* value, const std::string& where, bool named,
                        const stdfs::path& base) {
  if (value == nullptr || !value->is_object())
    throw ConfigError{"\"" + where + "\" must be an object"};
  ObjectReader reader(*value, where);
  Component component;
  if (named) {
    component.name = *reader.String("name", true);
    CheckNamePart(component.name, where + ".name");
  }
  component.version = Version(reader, "version");
  component.folder = Resolve(base, *reader.String("folder", true));
  reader.RefuseUnknown();
  return component;
}

// The build settings that become tail fields, and the files carried beside the archives.
void ReadSettings(ObjectReader& reader, const stdfs::path& base, BuildConfig& config) {
  config.launcher = Resolve(base, reader.String("launcher", false).value_or(""));
  tail::TailFields& f = config.fields;
  f.appName = *reader.String("app_name", true);
  CheckNamePart(f.appName, "app_name");
  f.installType = *reader.String("install_type", true);
  f.updateUrl = *reader.String("update_url", true);
  f.minSplashMs = reader.Digits("min_splash_ms", false).value_or("0");
  f.requiredJavaVersion = *reader.Digits("required_java_version", true);
  f.silentParameter = reader.String("silent_parameter", false).value_or("");
  const Json* canOverride = reader.Get("can_override_splash");
  if (canOverride != nullptr && !canOverride->is_boolean())
    throw ConfigError{"\"can_override_splash\" must be true or false"};
  f.canOverrideSplash = (canOverride != nullptr && canOverride->get<bool>()) ? "1" : "0";
  config.key = Resolve(base, reader.String("key", false).value_or(""));
  config.lzmaExe = Resolve(base, *reader.String("lzma_exe", true));
  config.splashImage = Resolve(base, *reader.String("splash_image", true));
  config.cacerts = Resolve(base, *reader.String("cacerts", true));
}

std::vector<Param> ReadParams(const Json& params) {
  if (!params.is_object()) throw ConfigError{"\"params\" must be an object of strings"};
  std::vector<Param> result;
  for (const auto& member : params.items()) {
    const std::string& name = member.key();
    if (!member.value().is_string()) throw ConfigError{"\"params." + name + "\" must be a string"};
    Param param{name, member.value().get<std::string>()};
    std::string problem = CheckParam(param);
    if (!problem.empty()) throw ConfigError{problem};
    result.push_back(std::move(param));
  }
  return result;
}

BuildConfig ReadConfig(const Json& root, const stdfs::path& base) {
  if (!root.is_object()) throw ConfigError{"the configuration must be a JSON object"};
  ObjectReader reader(root, "");
  BuildConfig config;
  ReadSettings(reader, base, config);
  config.updater = ReadComponent(reader.Get("updater"), "updater", false, base);
  if (const Json* jre = reader.Get("jre")) config.jre = ReadComponent(jre, "jre", true, base);
  if (const Json* app = reader.Get("app")) config.app = ReadComponent(app, "app", false, base);
  if (const Json* params = reader.Get("params")) config.params = ReadParams(*params);
  reader.RefuseUnknown();

  tail::TailFields& f = config.fields;
  f.guVersion = config.updater.version;
  if (config.jre) f.jreVersion = config.jre->version;
  if (config.app) f.appVersion = config.app->version;
  std::string problem = CheckTailFields(f);
  if (!problem.empty()) throw ConfigError{problem};
  return config;
}

// The work folder for the archives and version files; removed with everything in it.
class WorkFolder {
 public:
  explicit WorkFolder(std::string path) : path_(std::move(path)) {}
  ~WorkFolder() {
    std::error_code ignored;
    stdfs::remove_all(path_, ignored);
  }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

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
  CommandLine line = ParseCommandLine(args, kBuildOptions);
  if (line.help && line.error.empty()) {
    std::fputs(kBuildUsage, stdout);
    *exitCode = kExitOk;
    return std::nullopt;
  }
  *exitCode = kExitUsage;
  if (!line.error.empty()) {
    ReportUsageError("build", line.error, kBuildUsage);
    return std::nullopt;
  }
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

// Reads, parses and checks the configuration file and settles the launcher image. Problems are
// reported here; they are the vendor's to fix (exit code 2).
std::optional<BuildConfig> LoadBuildConfig(const BuildRequest& request) {
  const std::string& configPath = request.configPath;
  std::ifstream in(configPath, std::ios::binary);
  if (!in) {
    ReportUsageError("build", "cannot read " + configPath, kBuildUsage);
    return std::nullopt;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  std::optional<Json> root = ParseJson(text, &error);
  BuildConfig config;
  try {
    if (!root) throw ConfigError{error};
    config = ReadConfig(*root, stdfs::absolute(configPath).parent_path());
  } catch (const ConfigError& bad) {
    std::fprintf(stderr, "ferrolan-pack build: %s: %s\n", configPath.c_str(), bad.message.c_str());
    return std::nullopt;
  }
  if (request.launcher) config.launcher = *request.launcher;
  if (config.launcher.empty()) config.launcher = DefaultLauncherImage();
  return config;
}

// Everything the configuration names must exist before any work starts.
bool CheckInputsExist(const BuildConfig& config, const std::string& configPath) {
  std::error_code ignored;
  std::vector<std::pair<std::string, bool>> inputs = {{config.launcher, false},
                                                      {config.lzmaExe, false},
                                                      {config.splashImage, false},
                                                      {config.cacerts, false},
                                                      {config.updater.folder, true}};
  if (config.jre) inputs.emplace_back(config.jre->folder, true);
  if (config.app) inputs.emplace_back(config.app->folder, true);
  if (!config.key.empty()) inputs.emplace_back(config.key, false);
  for (const auto& [path, folder] : inputs) {
    bool there =
        folder ? stdfs::is_directory(path, ignored) : stdfs::is_regular_file(path, ignored);
    if (!there) {
      std::fprintf(stderr, "ferrolan-pack build: %s: %s \"%s\" does not exist\n",
                   configPath.c_str(), folder ? "folder" : "file", path.c_str());
      return false;
    }
  }
  return true;
}

// A launcher that carries a JRE finds it under the name in "jre_name"; without that property
// it would look for a JRE of no name and install the carried one where nothing finds it.
void AddJreNameParam(BuildConfig& config) {
  if (!config.jre) return;
  bool found = false;
  for (const auto& [name, value] : config.params) {
    if (name != "jre_name") continue;
    found = true;
    if (value != config.jre->name) {
      std::fprintf(stderr,
                   "ferrolan-pack build: warning: params.jre_name \"%s\" differs from "
                   "jre.name \"%s\"\n",
                   value.c_str(), config.jre->name.c_str());
    }
  }
  if (!found) config.params.emplace_back("jre_name", config.jre->name);
}

// Loads the signing key and puts its public half into the tail fields. Null without a key (with
// a warning) and on failure (reported, `*failed` set).
std::unique_ptr<archive::SigningKey> LoadBuildKey(BuildConfig& config, bool* failed) {
  *failed = false;
  if (config.key.empty()) {
    std::fprintf(stderr,
                 "ferrolan-pack build: warning: no \"key\" in the configuration; the archives "
                 "are unsigned and the launcher installs them without any check\n");
    return nullptr;
  }
  std::string error;
  std::unique_ptr<archive::SigningKey> key = LoadSigningKey(config.key, &error);
  if (!key) {
    ReportFailure("build", error);
    *failed = true;
    return nullptr;
  }
  config.fields.publicKey = key->PublicHex();
  return key;
}

// Makes the archives and version files in the work folder and lists every tail entry in the
// order the launcher consumes them. Failures are reported here.
class PayloadAssembler {
 public:
  PayloadAssembler(const BuildConfig& config, const archive::SigningKey* key,
                   const WorkFolder& work)
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
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << version;
    out.close();
    if (!out) {
      ReportFailure("build", "cannot write " + name);
      return false;
    }
    payload.entries.push_back({name, path});
    return true;
  }

  const BuildConfig& config_;
  const archive::SigningKey* key_;
  const WorkFolder& work_;
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
  std::optional<BuildConfig> config = LoadBuildConfig(*request);
  if (!config || !CheckInputsExist(*config, request->configPath)) return kExitUsage;
  AddJreNameParam(*config);
  bool keyFailed = false;
  std::unique_ptr<archive::SigningKey> key = LoadBuildKey(*config, &keyFailed);
  if (keyFailed) return kExitFailed;

  std::error_code fsError;
  WorkFolder work(request->output + ".work");
  stdfs::remove_all(work.path(), fsError);
  stdfs::create_directories(work.path(), fsError);
  if (fsError) return ReportFailure("build", "cannot create " + work.path());
  std::optional<LauncherPayload> payload = PayloadAssembler(*config, key.get(), work).Assemble();
  if (!payload) return kExitFailed;
  return WriteOutput(*payload, request->output);
}

}  // namespace ferrolan::pack
