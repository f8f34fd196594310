#include "pack/release/build_flags.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "pack/cli/command_report.h"
#include "pack/cli/usage.h"
#include "pack/format/jar_reader.h"
#include "pack/format/payload_writer.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;

// The whole-number version every component of a flags build gets: the application's, so each
// release also carries (and installs) the updater and runtime it was built with.
std::optional<std::string> Version(const CommandLine& line, std::string* error) {
  const std::string text = line.Value("--app-version", "1");
  std::optional<std::uint64_t> mapped = MapDottedVersion(text);
  if (!mapped) {
    *error = "--app-version \"" + text + "\" must be 1 to 3 numbers separated by dots, the " +
             "first up to " + std::to_string(kMaxMajorVersion) + ", the others up to " +
             std::to_string(kMaxMinorVersion);
    return std::nullopt;
  }
  return NormalizeVersion(std::to_string(*mapped));
}

// True when `inner`, made relative to `folder`, stays inside it.
std::optional<std::string> InsideFolder(const stdfs::path& folder, const stdfs::path& inner) {
  stdfs::path relative = inner.lexically_normal().lexically_relative(folder.lexically_normal());
  if (relative.empty() || relative.is_absolute()) return std::nullopt;
  for (const stdfs::path& part : relative)
    if (part == "..") return std::nullopt;
  return relative.generic_string();
}

bool IsTopLevelJar(const stdfs::directory_entry& entry) {
  std::error_code ignored;
  std::string name = entry.path().filename().string();
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return entry.is_regular_file(ignored) && name.size() > 4 && name.ends_with(".jar");
}

// The main jar, the entries of its manifest's Class-Path that lie in the input folder, then the
// other jars at the top of the input folder, sorted: what "java -jar" would find, and the jars
// beside it that a jpackage-style input folder carries for the same purpose.
std::vector<std::string> FlagsClasspath(const stdfs::path& input, const std::string& mainJar,
                                        const Manifest& manifest, const char* command) {
  std::vector<std::string> classpath = {mainJar};
  auto add = [&classpath](const std::string& entry) {
    if (std::find(classpath.begin(), classpath.end(), entry) == classpath.end())
      classpath.push_back(entry);
  };
  const stdfs::path jarFolder = (input / mainJar).parent_path();
  std::error_code ignored;
  for (const std::string& entry : manifest.classPath) {
    std::optional<std::string> inside = InsideFolder(input, jarFolder / entry);
    if (inside && stdfs::exists(input / *inside, ignored)) {
      add(*inside);
    } else {
      // The virtual machine passes over missing Class-Path entries as well.
      std::fprintf(stderr,
                   "ferrolan-pack %s: warning: the Class-Path entry \"%s\" of %s is not in "
                   "the input folder and is left out\n",
                   command, entry.c_str(), mainJar.c_str());
    }
  }
  std::vector<std::string> others;
  std::error_code error;
  for (stdfs::directory_iterator it(input, error), end; !error && it != end; it.increment(error))
    if (IsTopLevelJar(*it)) others.push_back(it->path().filename().string());
  std::sort(others.begin(), others.end());
  for (const std::string& jar : others) add(jar);
  return classpath;
}

}  // namespace

bool UsesPackagingFlags(const CommandLine& line) {
  return std::any_of(std::begin(kPackagingOptions), std::end(kPackagingOptions),
                     [&line](const OptionDef& flag) { return line.Has(flag.longName); });
}

std::string SettingsSourceProblem(const CommandLine& line) {
  // One source of settings: flags that silently overrode parts of a file would leave the file
  // saying something the launcher does not do.
  const bool flags = UsesPackagingFlags(line);
  if (flags && line.Has("--config"))
    return "--config cannot be combined with the flags that describe the application";
  if (!flags && line.Value("--config").empty())
    return "missing --config FILE (or --name, --input and --main-jar)";
  return {};
}

std::optional<BuildConfig> LoadCommandConfig(const CommandLine& line, const char* command,
                                             const char* usage, std::string* source) {
  if (line.Has("--config")) {
    *source = line.Value("--config");
    return LoadBuildConfig(*source, command, usage);
  }
  *source = "flags";
  std::string error;
  std::optional<BuildConfig> config = ConfigFromFlags(line, command, &error);
  if (!config) ReportUsageError(command, error, usage);
  return config;
}

std::optional<std::uint64_t> MapDottedVersion(std::string_view text) {
  std::vector<std::uint64_t> numbers;
  std::size_t at = 0;
  while (true) {
    std::size_t dot = text.find('.', at);
    std::string_view part = text.substr(at, dot == std::string_view::npos ? dot : dot - at);
    if (part.empty() || part.size() > 9 ||
        part.find_first_not_of("0123456789") != std::string_view::npos) {
      return std::nullopt;
    }
    numbers.push_back(std::stoull(std::string(part)));
    if (dot == std::string_view::npos) break;
    at = dot + 1;
  }
  if (numbers.size() > 3 || numbers[0] > kMaxMajorVersion) return std::nullopt;
  numbers.resize(3, 0);
  if (numbers[1] > kMaxMinorVersion || numbers[2] > kMaxMinorVersion) return std::nullopt;
  return numbers[0] * 100000000 + numbers[1] * 10000 + numbers[2];
}

std::optional<BuildConfig> ConfigFromFlags(const CommandLine& line, const char* command,
                                           std::string* error) {
  auto fail = [error](std::string message) {
    *error = std::move(message);
    return std::nullopt;
  };
  for (const char* required : {"--name", "--input", "--main-jar"})
    if (!line.Has(required)) return fail("missing " + std::string(required));
  BuildConfig config;
  tail::TailFields& f = config.fields;
  f.appName = line.Value("--name");
  if (std::string problem = PlainNameProblem(f.appName, "--name"); !problem.empty())
    return fail(problem);
  f.installType = line.Value("--install-type", "perm_user");
  if (f.installType != "perm_user" && f.installType != "perm_all")
    return fail("--install-type must be perm_user or perm_all");
  f.updateUrl = line.Value("--update-url", "D");
  f.minSplashMs = "0";
  f.requiredJavaVersion = "11";
  f.canOverrideSplash = "0";

  const std::optional<std::string> version = Version(line, error);
  if (!version) return std::nullopt;
  f.guVersion = f.appVersion = *version;
  config.updater.version = *version;
  config.key = line.Value("--key");
  config.icon = line.Value("--icon");

  std::error_code ignored;
  const stdfs::path input = stdfs::absolute(line.Value("--input"), ignored);
  if (!stdfs::is_directory(input, ignored))
    return fail("--input " + line.Value("--input") + " is not a folder");
  const std::optional<std::string> mainJar = InsideFolder(input, input / line.Value("--main-jar"));
  if (!mainJar || !stdfs::is_regular_file(input / *mainJar, ignored)) {
    return fail("--main-jar " + line.Value("--main-jar") +
                " must name a jar inside the --input folder (relative to it)");
  }
  std::optional<JarIndex> jar = ReadJarFile((input / *mainJar).string(), error);
  if (!jar) return std::nullopt;
  const Manifest manifest = jar->manifest ? ParseManifest(*jar->manifest) : Manifest{};

  LaunchSettings launch;
  launch.mainClass = line.Value("--main-class", manifest.mainClass);
  if (launch.mainClass.empty()) {
    return fail("the main jar " + *mainJar +
                " names no Main-Class in its manifest: give --main-class");
  }
  launch.classpath = FlagsClasspath(input, *mainJar, manifest, command);
  launch.javaOptions = line.Values("--java-options");
  launch.arguments = line.Values("--arguments");
  launch.ownJvm = line.Has("--own-jvm");
  Component app{{}, *version, input.string(), {}, std::move(launch), true};
  config.app = std::move(app);

  if (line.Has("--runtime")) {
    const stdfs::path runtime = stdfs::absolute(line.Value("--runtime"), ignored);
    if (!stdfs::is_directory(runtime, ignored))
      return fail("--runtime " + line.Value("--runtime") + " is not a folder");
    config.jre = Component{f.appName + "-jre", *version, runtime.string(), {}, std::nullopt, false};
    f.jreVersion = *version;
  }
  if (std::string problem = CheckTailFields(f); !problem.empty()) return fail(problem);
  return config;
}

}  // namespace ferrolan::pack
