#include "pack/release/launch_staging.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "launch/launch_sequence.h"
#include "pack/format/jar_reader.h"
#include "tail/payload_layout.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;

// A problem with the launch settings or the folders: reported, exit code 2.
struct StageError {
  std::string message;
};

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::uint32_t Be32(const std::string& b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) << 24 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3]));
}

// The icon must be a whole PNG file: the signature, an IHDR chunk first with a size, and the
// IEND chunk last (a file cut short misses it). The pixels are left to whoever shows them.
void CheckPng(const std::string& png, const std::string& path, std::uint32_t* width,
              std::uint32_t* height) {
  static const std::string kSignature("\x89PNG\r\n\x1a\n", 8);
  static const std::string kEnd("\0\0\0\0IEND\xAE\x42\x60\x82", 12);
  if (png.size() < 8 + 25 + 12 || png.compare(0, 8, kSignature) != 0 ||
      png.compare(12, 4, "IHDR") != 0 || Be32(png, 8) != 13 ||
      png.compare(png.size() - 12, 12, kEnd) != 0) {
    throw StageError{"the icon " + path + " is not a complete PNG file"};
  }
  *width = Be32(png, 16);
  *height = Be32(png, 20);
  if (*width == 0 || *height == 0 || *width > 0x7FFFFFFF || *height > 0x7FFFFFFF)
    throw StageError{"the icon " + path + " has no valid size in its PNG header"};
}

bool IsJarName(const std::string& name) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.size() > 4 && lower.ends_with(".jar");
}

// Works out one component's launch file and checks it against what the folder will hold.
class ComponentStager {
 public:
  ComponentStager(Component& component, std::string where, std::string launchName)
      : c_(component), where_(std::move(where)), launchName_(std::move(launchName)) {}

  void Stage() {
    std::error_code ignored;
    const bool hasLaunchFile =
        !c_.folder.empty() &&
        stdfs::exists(stdfs::path(c_.folder) / launch::kLaunchFileName, ignored);
    if (hasLaunchFile && c_.launch) {
      throw StageError{c_.folder + " already holds a " + std::string(launch::kLaunchFileName) +
                       ", and the configuration declares the launch settings of \"" + where_ +
                       "\" as well: remove the file or the settings"};
    }
    if (hasLaunchFile) return;  // the vendor's own launch file, carried as it is
    if (!c_.launch) {
      std::string hint = where_ == "updater" ? "; or leave out \"updater.folder\" to carry the "
                                               "packager's own updater"
                                             : "";
      throw StageError{"the " + where_ + " folder " + c_.folder + " has no " +
                       std::string(launch::kLaunchFileName) + ": declare \"" + where_ +
                       ".main_class\" so that the packager writes it" + hint};
    }
    LaunchSettings& launch = *c_.launch;
    if (!c_.classpathGiven) launch.classpath = DefaultClasspath();
    std::string problem = CheckLaunchSettings(launch, launchName_, where_);
    if (!problem.empty()) throw StageError{problem};
    for (const std::string& entry : launch.classpath) CheckEntry(entry);
    CheckMainClass(launch);
    c_.staged.push_back({launch::kLaunchFileName, EncodeLaunchFile(launch, launchName_), {}});
  }

 private:
  // Every jar at the top of the folder and every staged jar, sorted by name.
  std::vector<std::string> DefaultClasspath() const {
    std::vector<std::string> jars;
    std::error_code error;
    if (!c_.folder.empty()) {
      for (stdfs::directory_iterator it(c_.folder, error), end; !error && it != end;
           it.increment(error)) {
        std::error_code kind;
        if (it->is_regular_file(kind) && IsJarName(it->path().filename().string()))
          jars.push_back(it->path().filename().string());
      }
    }
    for (const StagedFile& file : c_.staged)
      if (IsJarName(file.name)) jars.push_back(file.name);
    std::sort(jars.begin(), jars.end());
    return jars;
  }

  // Where the installed entry's content comes from now: a staged file or the folder.
  std::string SourceOf(const std::string& entry) const {
    for (const StagedFile& file : c_.staged)
      if (file.name == entry) return file.source;
    return c_.folder.empty() ? std::string() : (stdfs::path(c_.folder) / entry).string();
  }

  void CheckEntry(const std::string& entry) const {
    const stdfs::path relative(entry);
    bool escapes = relative.is_absolute() || relative.has_root_name() || entry.empty();
    for (const stdfs::path& part : relative) escapes = escapes || part == "..";
    if (escapes || entry.find('\\') != std::string::npos) {
      throw StageError{"the classpath entry \"" + entry + "\" of \"" + where_ +
                       "\" must be a path inside the installed folder, with \"/\" between "
                       "folders"};
    }
    std::error_code ignored;
    const std::string source = SourceOf(entry);
    if (source.empty() || !stdfs::exists(source, ignored)) {
      throw StageError{"the classpath entry \"" + entry + "\" of \"" + where_ +
                       "\" does not exist" +
                       (c_.folder.empty() ? std::string() : " in " + c_.folder)};
    }
  }

  void CheckMainClass(const LaunchSettings& launch) const {
    const std::string classEntry = ClassEntryName(launch.mainClass);
    if (classEntry.empty()) {
      throw StageError{"\"" + launch.mainClass + "\" (" + where_ +
                       ".main_class) is not a class name such as com.example.Main"};
    }
    std::error_code ignored;
    for (const std::string& entry : launch.classpath) {
      const std::string source = SourceOf(entry);
      if (stdfs::is_directory(source, ignored)) {
        if (stdfs::is_regular_file(stdfs::path(source) / classEntry, ignored)) return;
        continue;
      }
      std::string error;
      std::optional<JarIndex> jar = ReadJarFile(source, &error);
      if (!jar) {
        throw StageError{"the classpath entry \"" + entry + "\" of \"" + where_ +
                         "\" is not a readable jar: " + error};
      }
      if (jar->names.count(classEntry) != 0) return;
    }
    std::string list;
    for (const std::string& entry : launch.classpath) list += (list.empty() ? "" : ", ") + entry;
    throw StageError{"the main class " + launch.mainClass + " of \"" + where_ + "\" (" +
                     classEntry + ") is in none of its classpath entries: " + list};
  }

  Component& c_;
  const std::string where_;
  const std::string launchName_;
};

void StageIcon(BuildConfig& config) {
  if (config.icon.empty()) return;
  if (!config.app) throw StageError{"\"icon\" needs an \"app\": the icon goes into its folder"};
  const std::string png = ReadWhole(config.icon);
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  CheckPng(png, config.icon, &width, &height);
  std::error_code ignored;
  for (const char* name : {kIconPngName, kIconIcoName}) {
    if (stdfs::exists(stdfs::path(config.app->folder) / name, ignored)) {
      throw StageError{config.app->folder + " already holds a " + std::string(name) +
                       ", which the packager writes from \"icon\": remove one of them"};
    }
  }
  config.app->staged.push_back({kIconPngName, {}, config.icon});
  config.app->staged.push_back({kIconIcoName, IcoWithPng(png, width, height), {}});
}

// Whether `option` is one only the "java" command takes: a virtual machine created in-process,
// as the launcher creates the updater's, refuses it.
bool OnlyForTheJavaCommand(const std::string& option) {
  for (const char* prefix :
       {"-splash:", "@", "--class-path=", "--module-path=", "--module=", "--source="}) {
    if (option.starts_with(prefix)) return true;
  }
  for (const char* whole : {"-jar", "-cp", "-classpath", "--class-path", "-p", "--module-path",
                            "-m", "--module", "--source"}) {
    if (option == whole) return true;
  }
  return false;
}

}  // namespace

std::string LzmaPlaceholder() {
  constexpr std::size_t kPeOffset = 0x40;
  constexpr std::size_t kOptionalSize = 240;  // PE32+ with its sixteen data directories
  std::string image(kPeOffset + 4 + 20 + kOptionalSize, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  image[0x3C] = static_cast<char>(kPeOffset);
  image.replace(kPeOffset, 4, std::string("PE\0\0", 4));
  const std::size_t file = kPeOffset + 4;
  image[file] = '\x64';  // machine: x86-64
  image[file + 1] = '\x86';
  image[file + 16] = static_cast<char>(kOptionalSize);  // size of the optional header
  image[file + 18] = '\x22';                            // executable, large-address aware
  const std::size_t optional = file + 20;
  image[optional] = '\x0B';  // PE32+
  image[optional + 1] = '\x02';
  image[optional + 68] = '\x02';  // subsystem: windowed
  return image;
}

std::string IcoWithPng(const std::string& png, std::uint32_t width, std::uint32_t height) {
  auto le16 = [](std::string& out, unsigned value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
  };
  auto le32 = [&](std::string& out, std::uint32_t value) {
    le16(out, value & 0xFFFF);
    le16(out, value >> 16);
  };
  std::string ico;
  le16(ico, 0);                                                // reserved
  le16(ico, 1);                                                // an icon, not a cursor
  le16(ico, 1);                                                // one image
  ico.push_back(static_cast<char>(width >= 256 ? 0 : width));  // 0 stands for 256 and more
  ico.push_back(static_cast<char>(height >= 256 ? 0 : height));
  ico.push_back(0);  // no palette
  ico.push_back(0);  // reserved
  le16(ico, 1);      // colour planes
  le16(ico, 32);     // bits per pixel
  le32(ico, static_cast<std::uint32_t>(png.size()));
  le32(ico, 6 + 16);  // the image follows the header and its one directory entry
  return ico + png;
}

bool StageLaunchFiles(BuildConfig& config, const std::string& source, const char* command) {
  try {
    Component& updater = config.updater;
    if (updater.folder.empty()) {
      std::error_code ignored;
      if (config.updaterJar.empty() || !stdfs::is_regular_file(config.updaterJar, ignored)) {
        throw StageError{"\"updater.folder\" is not given, and there is no " +
                         std::string(kUpdaterJarName) +
                         (config.updaterJar.empty() ? std::string() : " at " + config.updaterJar) +
                         " to carry instead (give --updater-jar, or an updater folder)"};
      }
      updater.staged.push_back({kUpdaterJarName, {}, config.updaterJar});
      if (!updater.launch) {
        updater.launch = LaunchSettings{kUpdaterMainClass, {}, {}, {}, 0, 0};
        // The carried updater starts its virtual machine with the application's settings, so
        // the application can run in it rather than start one of its own; not with options
        // only the "java" command takes (the application starts in a process of its own then).
        if (config.app && config.app->launch && !config.app->launch->ownJvm &&
            std::none_of(config.app->launch->javaOptions.begin(),
                         config.app->launch->javaOptions.end(), OnlyForTheJavaCommand)) {
          updater.launch->javaOptions = config.app->launch->javaOptions;
          updater.launch->maxHeapMb = config.app->launch->maxHeapMb;
          updater.launch->initialHeapMb = config.app->launch->initialHeapMb;
        }
      }
    }
    ComponentStager(updater, "updater", kUpdaterLaunchName).Stage();
    if (config.app) ComponentStager(*config.app, "app", config.fields.appName).Stage();
    StageIcon(config);
  } catch (const StageError& bad) {
    std::fprintf(stderr, "ferrolan-pack %s: %s: %s\n", command, source.c_str(),
                 bad.message.c_str());
    return false;
  }
  return true;
}

void StageCarriedUpdaterFiles(BuildConfig& config) {
  Component& updater = config.updater;
  const auto add = [&updater](const char* name, const std::string& path, std::string content) {
    std::error_code ignored;
    if (!updater.folder.empty() && stdfs::exists(stdfs::path(updater.folder) / name, ignored))
      return;
    for (const StagedFile& staged : updater.staged)
      if (staged.name == name) return;
    if (!path.empty() && !stdfs::is_regular_file(path, ignored)) return;  // build reports it
    updater.staged.push_back({name, std::move(content), path});
  };
  add(tail::kLzmaFileName, config.lzmaExe, config.lzmaExe.empty() ? LzmaPlaceholder() : "");
  if (!config.splashImage.empty()) add(tail::kSplashFileName, config.splashImage, "");
  if (!config.cacerts.empty()) add(tail::kCacertsFileName, config.cacerts, "");
}

}  // namespace ferrolan::pack
