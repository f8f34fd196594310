#include "jre/jre_layout.h"

#include <cstdio>
#include <string_view>

#include "fs/file_ops.h"
#include "fs/path.h"
#include "jre/jre_layout_os.h"
#include "log/log.h"
#include "os/os.h"

namespace ferrolan::jre {

std::string LocateJavaLauncher(const std::string& jreFolder) {
  if (const char* preferred = detail::PreferredLauncherName()) {
    std::string path = jreFolder;
    fs::PathJoin(path, "bin");
    fs::PathJoin(path, preferred);
    if (fs::FileExists(path) != 0) return path;
  }
  std::string path = jreFolder;
  fs::PathJoin(path, "bin");
  fs::PathJoin(path, detail::LauncherName());
  return path;
}

std::string LocateUnpack200(const std::string& jreFolder) {
  // These lines are for whoever watches the console; the path is logged by the caller.
  log::ConsolePrintf("[Locating UP200] %s\n", jreFolder.c_str());
  std::string bin = jreFolder;
  fs::PathJoin(bin, "bin");
  log::ConsolePrintf("[Locating UP200] %s\n", bin.c_str());
  std::string result = bin;
  fs::PathJoin(result, detail::Unpack200Name());
  log::ConsolePrintf("[Locating UP200] Result is %s\n", result.c_str());
  return result;
}

std::string JavaExecutablePath(const std::string& jreFolder) {
  std::string path = jreFolder;
  fs::PathJoin(path, "bin");
  fs::PathJoin(path, detail::JavaExecutableName());
  return path;
}

const std::vector<const char*>& JreLauncherNames() {
  // The executable whose version is read, and the launcher that starts programs when it is a
  // different file (POSIX has one program for both).
  static const std::vector<const char*> names = [] {
    std::vector<const char*> list = {detail::JavaExecutableName()};
    if (std::string_view(detail::LauncherName()) != list.front()) {
      list.push_back(detail::LauncherName());
    }
    return list;
  }();
  return names;
}

std::string LaunchExecutableName(const std::string& appName) {
  return appName + detail::ProgramSuffix();
}

std::array<std::string, 4> JvmLibraryCandidates(const std::string& jreFolder) {
  const std::string folder = detail::JvmLibraryFolder();
  const std::string older = "jre/" + folder;  // PathJoin turns the separator into this build's
  const char* name = detail::JvmLibraryName();
  std::array<std::string, 4> paths;
  fs::PathJoin4(paths[0], jreFolder, folder, "server", name);
  fs::PathJoin4(paths[1], jreFolder, folder, "client", name);
  fs::PathJoin4(paths[2], jreFolder, older, "client", name);
  fs::PathJoin4(paths[3], jreFolder, older, "server", name);
  return paths;
}

std::optional<std::string> SystemJreRoot(bool autoTest) {
  std::optional<std::string> programFiles = os::GetEnv("PROGRAMFILES");
  if (programFiles && !programFiles->empty()) {
    std::string root = *programFiles;
    fs::PathJoin(root, autoTest ? "Java_FLAutoTest" : "Java");
    return root;
  }
  if (autoTest) return std::nullopt;
  return detail::DefaultJreRoot();
}

}  // namespace ferrolan::jre
