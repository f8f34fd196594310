// The configuration shared by "build" and "publish": reading and checking it, its inputs, the
// "jre_name" Param and the signing key.
#include "pack/release/build_config.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>
#include <utility>

#include "archive/entry_format.h"
#include "pack/cli/command_report.h"
#include "pack/format/json_reader.h"
#include "pack/format/key_files.h"
#include "pack/support/self_path.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;

// A configuration problem: reported with exit code 2, since the vendor has to fix the file.
struct ConfigError {
  std::string message;
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

  // A list of strings; none when absent.
  std::optional<std::vector<std::string>> Strings(std::string_view name) {
    const Json* value = Get(name);
    if (value == nullptr) return std::nullopt;
    if (!value->is_array()) throw ConfigError{"\"" + Path(name) + "\" must be a list of strings"};
    std::vector<std::string> result;
    for (const Json& item : *value) {
      if (!item.is_string())
        throw ConfigError{"\"" + Path(name) + "\" must be a list of strings, not " +
                          JsonKindName(item) + "s"};
      result.push_back(item.get<std::string>());
    }
    return result;
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

void CheckNamePart(const std::string& text, const std::string& setting) {
  std::string problem = PlainNameProblem(text, setting);
  if (!problem.empty()) throw ConfigError{problem};
}

std::uint32_t HeapMb(ObjectReader& reader, const char* name) {
  std::string digits = reader.Digits(name, false).value_or("0");
  if (digits.size() > 10 || std::stoull(digits) > kMaxHeapMb)
    throw ConfigError{"\"" + reader.Path(name) + "\" must be below 2147483648 (MiB)"};
  return static_cast<std::uint32_t>(std::stoull(digits));
}

// A component's launch settings. Declaring any of them makes the packager write the launch file;
// the main class is then required, except for the updater, whose main class is ours.
void ReadLaunch(ObjectReader& reader, const std::string& where, const char* defaultMainClass,
                Component& component) {
  std::optional<std::string> mainClass = reader.String("main_class", false);
  std::optional<std::vector<std::string>> classpath = reader.Strings("classpath");
  std::optional<std::vector<std::string>> javaOptions = reader.Strings("java_options");
  std::optional<std::vector<std::string>> arguments = reader.Strings("arguments");
  const bool heapGiven =
      reader.Get("max_heap_mb") != nullptr || reader.Get("initial_heap_mb") != nullptr;
  const Json* ownJvm = reader.Get("own_jvm");
  if (ownJvm != nullptr && !ownJvm->is_boolean())
    throw ConfigError{"\"" + reader.Path("own_jvm") + "\" must be true or false"};
  LaunchSettings launch;
  launch.maxHeapMb = HeapMb(reader, "max_heap_mb");
  launch.initialHeapMb = HeapMb(reader, "initial_heap_mb");
  launch.ownJvm = ownJvm != nullptr && ownJvm->get<bool>();
  if (!mainClass && !classpath && !javaOptions && !arguments && !heapGiven && ownJvm == nullptr)
    return;
  if (!mainClass && defaultMainClass == nullptr) {
    throw ConfigError{"missing \"" + where +
                      ".main_class\" (required once any launch setting is given)"};
  }
  launch.mainClass = mainClass.value_or(defaultMainClass == nullptr ? "" : defaultMainClass);
  launch.classpath = classpath.value_or(std::vector<std::string>());
  launch.javaOptions = javaOptions.value_or(std::vector<std::string>());
  launch.arguments = arguments.value_or(std::vector<std::string>());
  component.classpathGiven = classpath.has_value();
  component.launch = std::move(launch);
}

// What a component section may hold besides its version and folder.
enum class Section { kJre, kUpdater, kApp };

Component ReadComponent(const Json* value, const std::string& where, Section section,
                        const stdfs::path& base) {
  if (value == nullptr || !value->is_object())
    throw ConfigError{"\"" + where + "\" must be an object"};
  ObjectReader reader(*value, where);
  Component component;
  if (section == Section::kJre) {
    component.name = *reader.String("name", true);
    CheckNamePart(component.name, where + ".name");
  }
  component.version = Version(reader, "version");
  // The updater may leave out its folder: the packager then carries its own updater jar.
  component.folder =
      Resolve(base, reader.String("folder", section != Section::kUpdater).value_or(""));
  if (section == Section::kUpdater) ReadLaunch(reader, where, kUpdaterMainClass, component);
  if (section == Section::kApp) ReadLaunch(reader, where, nullptr, component);
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
  config.lzmaExe = Resolve(base, reader.String("lzma_exe", false).value_or(""));
  config.splashImage = Resolve(base, reader.String("splash_image", false).value_or(""));
  config.cacerts = Resolve(base, reader.String("cacerts", false).value_or(""));
  config.icon = Resolve(base, reader.String("icon", false).value_or(""));
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
  config.updater = ReadComponent(reader.Get("updater"), "updater", Section::kUpdater, base);
  if (const Json* jre = reader.Get("jre"))
    config.jre = ReadComponent(jre, "jre", Section::kJre, base);
  if (const Json* app = reader.Get("app"))
    config.app = ReadComponent(app, "app", Section::kApp, base);
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

}  // namespace

std::string DefaultUpdaterJar() {
  const std::string self = OwnExecutablePath();
  if (self.empty()) return kUpdaterJarName;
  return (stdfs::path(self).parent_path() / kUpdaterJarName).string();
}

// A name that becomes part of an entry name and of installed folder names must be a single
// path component that every system can create: Windows refuses <>"|?* and control characters
// in file names. A "-" is fine: installed folders are read from the end of their names.
std::string PlainNameProblem(const std::string& text, const std::string& setting) {
  bool control = false;
  for (char c : text) control = control || static_cast<unsigned char>(c) < 0x20;
  if (text.empty() || control || text.find_first_of("/\\:<>\"|?*") != std::string::npos ||
      !archive::IsSafeEntryPath(text)) {
    return "\"" + setting + "\" must be a plain name (no \"/\", \"\\\", \":\", \"<\", \">\", " +
           "\"\"\", \"|\", \"?\", \"*\" or control characters)";
  }
  return {};
}

std::optional<BuildConfig> LoadBuildConfig(const std::string& configPath, const char* command,
                                           const char* usage) {
  std::ifstream in(configPath, std::ios::binary);
  if (!in) {
    ReportUsageError(command, "cannot read " + configPath, usage);
    return std::nullopt;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  std::optional<Json> root = ParseJson(text, &error);
  try {
    if (!root) throw ConfigError{error};
    return ReadConfig(*root, stdfs::absolute(configPath).parent_path());
  } catch (const ConfigError& bad) {
    std::fprintf(stderr, "ferrolan-pack %s: %s: %s\n", command, configPath.c_str(),
                 bad.message.c_str());
    return std::nullopt;
  }
}

bool CheckInputsExist(const BuildConfig& config, const std::string& configPath, Inputs inputs,
                      const char* command) {
  std::error_code ignored;
  std::vector<std::pair<std::string, bool>> needed;
  if (inputs == Inputs::kEverything) {
    needed = {{config.launcher, false}};
    // Each of these is optional: without it the launcher carries an empty file in its place.
    for (const std::string* carried : {&config.lzmaExe, &config.splashImage, &config.cacerts})
      if (!carried->empty()) needed.emplace_back(*carried, false);
  }
  if (!config.icon.empty()) needed.emplace_back(config.icon, false);
  if (!config.updater.folder.empty()) needed.emplace_back(config.updater.folder, true);
  if (config.jre) needed.emplace_back(config.jre->folder, true);
  if (config.app) needed.emplace_back(config.app->folder, true);
  if (!config.key.empty()) needed.emplace_back(config.key, false);
  for (const auto& [path, folder] : needed) {
    bool there =
        folder ? stdfs::is_directory(path, ignored) : stdfs::is_regular_file(path, ignored);
    if (!there) {
      std::fprintf(stderr, "ferrolan-pack %s: %s: %s \"%s\" does not exist\n", command,
                   configPath.c_str(), folder ? "folder" : "file", path.c_str());
      return false;
    }
  }
  return true;
}

// A launcher that carries a JRE finds it under the name in "jre_name"; without that property
// it would look for a JRE of no name and install the carried one where nothing finds it.
void AddJreNameParam(BuildConfig& config, const char* command) {
  if (!config.jre) return;
  bool found = false;
  for (const auto& [name, value] : config.params) {
    if (name != "jre_name") continue;
    found = true;
    if (value != config.jre->name) {
      std::fprintf(stderr,
                   "ferrolan-pack %s: warning: params.jre_name \"%s\" differs from "
                   "jre.name \"%s\"\n",
                   command, value.c_str(), config.jre->name.c_str());
    }
  }
  if (!found) config.params.emplace_back("jre_name", config.jre->name);
}

std::unique_ptr<archive::SigningKey> LoadConfiguredKey(BuildConfig& config, const char* command,
                                                       bool* failed) {
  *failed = false;
  if (config.key.empty()) {
    std::fprintf(stderr,
                 "ferrolan-pack %s: warning: no \"key\" in the configuration; the archives "
                 "are unsigned and the launcher installs them without any check\n",
                 command);
    return nullptr;
  }
  std::string error;
  std::unique_ptr<archive::SigningKey> key = LoadSigningKey(config.key, &error);
  if (!key) {
    ReportFailure(command, error);
    *failed = true;
    return nullptr;
  }
  config.fields.publicKey = key->PublicHex();
  return key;
}

}  // namespace ferrolan::pack
