// build: a packaged launcher from a JSON configuration.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "archive/archive_writer.h"
#include "archive/entry_format.h"
#include "cli.h"
#include "commands.h"
#include "json_reader.h"
#include "payload_writer.h"
#include "self_path.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;

constexpr const char* kBuildUsage =
    "Usage: ferrolan-pack build --config FILE.json -o OUTPUT [--launcher IMAGE]\n"
    "\n"
    "Packages a launcher: the launcher image, the wrapper tail (build settings, the tool\n"
    "files, the signed updater, JRE and application archives) and the Params section, all\n"
    "as described by the configuration. Folders named in it are packed like \"archive\"\n"
    "does; relative paths in it are taken from the configuration file's folder.\n"
    "\n"
    "Options:\n"
    "  --config FILE      the build configuration (JSON; see docs/packager.md)\n"
    "  -o, --output FILE  the packaged launcher to write (replaced when complete)\n"
    "  --launcher IMAGE   the bare launcher executable; overrides \"launcher\" in the\n"
    "                     configuration (default: ferrolan beside ferrolan-pack)\n"
    "  -h, --help         show this text\n"
    "\n"
    "Exit codes: 0 success, 1 failure, 2 bad arguments or a bad configuration.\n";

constexpr OptionDef kBuildOptions[] = {
    {"", "--config", true},
    {"-o", "--output", true},
    {"", "--launcher", true},
};

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
  ObjectReader(const JsonValue& object, std::string where)
      : object_(object), where_(std::move(where)) {}

  const JsonValue* Get(std::string_view name) {
    known_.emplace_back(name);
    return object_.Find(name);
  }

  std::optional<std::string> String(std::string_view name, bool required) {
    const JsonValue* value = Get(name);
    if (value == nullptr) {
      if (required) throw ConfigError{"missing \"" + Path(name) + "\""};
      return std::nullopt;
    }
    if (!value->IsString()) {
      throw ConfigError{"\"" + Path(name) + "\" must be a string, not " +
                        JsonKindName(value->kind())};
    }
    return value->text();
  }

  // A whole non-negative number, given as a JSON number or as a string of digits.
  std::optional<std::string> Digits(std::string_view name, bool required) {
    const JsonValue* value = Get(name);
    if (value == nullptr) {
      if (required) throw ConfigError{"missing \"" + Path(name) + "\""};
      return std::nullopt;
    }
    bool digits =
        (value->kind() == JsonValue::Kind::kNumber || value->kind() == JsonValue::Kind::kString) &&
        !value->text().empty() &&
        value->text().find_first_not_of("0123456789") == std::string::npos;
    if (!digits) throw ConfigError{"\"" + Path(name) + "\" must be a whole number of digits"};
    return value->text();
  }

  void RefuseUnknown() const {
    for (const auto& [name, value] : object_.members()) {
      bool known = false;
      for (const std::string& k : known_) known = known || k == name;
      if (!known) throw ConfigError{"unknown setting \"" + Path(name) + "\""};
    }
  }

  std::string Path(std::string_view name) const {
    return where_.empty() ? std::string(name) : where_ + "." + std::string(name);
  }

 private:
  const JsonValue& object_;
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

Component ReadComponent(const JsonValue* value, const std::string& where, bool named,
                        const stdfs::path& base) {
  if (value == nullptr || !value->IsObject())
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

BuildConfig ReadConfig(const JsonValue& root, const stdfs::path& base) {
  if (!root.IsObject()) throw ConfigError{"the configuration must be a JSON object"};
  ObjectReader reader(root, "");
  BuildConfig config;
  config.launcher = Resolve(base, reader.String("launcher", false).value_or(""));
  tail::TailFields& f = config.fields;
  f.appName = *reader.String("app_name", true);
  CheckNamePart(f.appName, "app_name");
  f.installType = *reader.String("install_type", true);
  f.updateUrl = *reader.String("update_url", true);
  f.minSplashMs = reader.Digits("min_splash_ms", false).value_or("0");
  f.requiredJavaVersion = *reader.Digits("required_java_version", true);
  f.silentParameter = reader.String("silent_parameter", false).value_or("");
  const JsonValue* canOverride = reader.Get("can_override_splash");
  if (canOverride != nullptr && canOverride->kind() != JsonValue::Kind::kBool)
    throw ConfigError{"\"can_override_splash\" must be true or false"};
  f.canOverrideSplash = (canOverride != nullptr && canOverride->boolValue()) ? "1" : "0";
  config.key = Resolve(base, reader.String("key", false).value_or(""));
  config.lzmaExe = Resolve(base, *reader.String("lzma_exe", true));
  config.splashImage = Resolve(base, *reader.String("splash_image", true));
  config.cacerts = Resolve(base, *reader.String("cacerts", true));
  config.updater = ReadComponent(reader.Get("updater"), "updater", false, base);
  if (const JsonValue* jre = reader.Get("jre")) config.jre = ReadComponent(jre, "jre", true, base);
  if (const JsonValue* app = reader.Get("app")) config.app = ReadComponent(app, "app", false, base);
  if (const JsonValue* params = reader.Get("params")) {
    if (!params->IsObject()) throw ConfigError{"\"params\" must be an object of strings"};
    for (const auto& [name, value] : params->members()) {
      if (!value.IsString()) throw ConfigError{"\"params." + name + "\" must be a string"};
      Param param{name, value.text()};
      std::string problem = CheckParam(param);
      if (!problem.empty()) throw ConfigError{problem};
      config.params.push_back(std::move(param));
    }
  }
  reader.RefuseUnknown();

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

}  // namespace

int RunBuild(const std::vector<std::string>& args) {
  CommandLine line = ParseCommandLine(args, kBuildOptions);
  if (line.help && line.error.empty()) {
    std::fputs(kBuildUsage, stdout);
    return kExitOk;
  }
  if (!line.error.empty()) return ReportUsageError("build", line.error, kBuildUsage);
  if (!line.positionals.empty()) {
    return ReportUsageError("build", "unexpected argument \"" + line.positionals[0] + "\"",
                            kBuildUsage);
  }
  const std::string configPath = line.Value("--config");
  const std::string output = line.Value("--output");
  if (configPath.empty()) return ReportUsageError("build", "missing --config FILE", kBuildUsage);
  if (output.empty()) return ReportUsageError("build", "missing -o OUTPUT", kBuildUsage);

  std::ifstream in(configPath, std::ios::binary);
  if (!in) return ReportUsageError("build", "cannot read " + configPath, kBuildUsage);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  std::optional<JsonValue> root = ParseJson(text, &error);
  if (!root) {
    std::fprintf(stderr, "ferrolan-pack build: %s: %s\n", configPath.c_str(), error.c_str());
    return kExitUsage;
  }
  BuildConfig config;
  try {
    config = ReadConfig(*root, stdfs::absolute(configPath).parent_path());
  } catch (const ConfigError& bad) {
    std::fprintf(stderr, "ferrolan-pack build: %s: %s\n", configPath.c_str(), bad.message.c_str());
    return kExitUsage;
  }
  if (line.Has("--launcher")) config.launcher = line.Value("--launcher");
  if (config.launcher.empty()) config.launcher = DefaultLauncherImage();

  // Everything the configuration names must exist before any work starts.
  {
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
        return kExitUsage;
      }
    }
  }

  // A launcher that carries a JRE finds it under the name in "jre_name"; without that property
  // it would look for a JRE of no name and install the carried one where nothing finds it.
  if (config.jre) {
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

  std::unique_ptr<archive::SigningKey> key;
  if (!config.key.empty()) {
    key = LoadSigningKey(config.key, &error);
    if (!key) return ReportFailure("build", error);
    config.fields.publicKey = key->PublicHex();
  } else {
    std::fprintf(stderr,
                 "ferrolan-pack build: warning: no \"key\" in the configuration; the archives "
                 "are unsigned and the launcher installs them without any check\n");
  }

  std::error_code fsError;
  WorkFolder work(output + ".work");
  stdfs::remove_all(work.path(), fsError);
  stdfs::create_directories(work.path(), fsError);
  if (fsError) return ReportFailure("build", "cannot create " + work.path());

  auto makeArchive = [&](const Component& component, const std::string& name) -> std::string {
    std::string archivePath = (stdfs::path(work.path()) / name).string();
    // Only the launcher reads the archives it carries, so they take the form it decodes on
    // all cores.
    std::vector<std::string> archiveArgs = {component.folder, "-o", archivePath, "--format", "xz"};
    if (!config.key.empty()) {
      archiveArgs.push_back("--key");
      archiveArgs.push_back(config.key);
    }
    std::printf("Packing %s into %s\n", component.folder.c_str(), name.c_str());
    return RunArchive(archiveArgs) == kExitOk ? archivePath : std::string();
  };
  auto makeVersionFile = [&](const std::string& version, const std::string& name) {
    std::string path = (stdfs::path(work.path()) / name).string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << version;
    out.close();
    return out ? path : std::string();
  };

  LauncherPayload payload;
  payload.imagePath = config.launcher;
  payload.fields = config.fields;
  payload.params = config.params;
  payload.entries.push_back({"lzma.exe", config.lzmaExe});
  payload.entries.push_back({"nativesplash.png", config.splashImage});
  payload.entries.push_back({"cacerts", config.cacerts});
  const std::string guArchiveName =
      "Ferrolan-Ferrolan-" + config.updater.version + "-archive.p2.l2";
  std::string guArchive = makeArchive(config.updater, guArchiveName);
  if (guArchive.empty()) return ReportFailure("build", "the updater archive could not be made");
  payload.entries.push_back({guArchiveName, guArchive});
  const std::string guVersionName = "Ferrolan-Ferrolan-version.txt";
  std::string guVersionFile = makeVersionFile(config.updater.version, guVersionName);
  if (guVersionFile.empty()) return ReportFailure("build", "cannot write " + guVersionName);
  payload.entries.push_back({guVersionName, guVersionFile});
  if (config.jre) {
    const std::string name =
        "Ferrolan-" + config.jre->name + "-" + config.jre->version + "-archive.p2.l2";
    std::string archivePath = makeArchive(*config.jre, name);
    if (archivePath.empty()) return ReportFailure("build", "the JRE archive could not be made");
    payload.entries.push_back({name, archivePath});
  }
  if (config.app) {
    const std::string& appName = config.fields.appName;
    const std::string name =
        "Ferrolan-" + appName + "_offline_flwin-" + config.app->version + "-archive.p2.l2";
    std::string archivePath = makeArchive(*config.app, name);
    if (archivePath.empty())
      return ReportFailure("build", "the application archive could not be made");
    payload.entries.push_back({name, archivePath});
    const std::string versionName = "Ferrolan-" + appName + "-version.txt";
    std::string versionFile = makeVersionFile(config.app->version, versionName);
    if (versionFile.empty()) return ReportFailure("build", "cannot write " + versionName);
    payload.entries.push_back({versionName, versionFile});
  }

  std::optional<PayloadLayout> layout = WriteLauncherFile(payload, output, &error);
  if (!layout) return ReportFailure("build", error);
  std::printf("Wrote %s: %llu bytes (image %llu, tail at %llu, %zu entries, %zu Params at %llu)\n",
              output.c_str(), static_cast<unsigned long long>(layout->fileSize),
              static_cast<unsigned long long>(layout->imageSize),
              static_cast<unsigned long long>(layout->tailMarkerOffset), payload.entries.size(),
              payload.params.size(), static_cast<unsigned long long>(layout->paramsMarkerOffset));
  return kExitOk;
}

}  // namespace ferrolan::pack
