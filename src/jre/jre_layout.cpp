#include "jre/jre_layout.h"

#include <cstdio>

#include "fs/file_ops.h"
#include "fs/path.h"
#include "jre/jre_os.h"
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
  std::printf("[Locating UP200] %s\n", jreFolder.c_str());
  std::string bin = jreFolder;
  fs::PathJoin(bin, "bin");
  std::printf("[Locating UP200] %s\n", bin.c_str());
  std::string result = bin;
  fs::PathJoin(result, detail::Unpack200Name());
  std::printf("[Locating UP200] Result is %s\n", result.c_str());
  return result;
}

std::string JavaExecutablePath(const std::string& jreFolder) {
  std::string path = jreFolder;
  fs::PathJoin(path, "bin");
  fs::PathJoin(path, detail::JavaExecutableName());
  return path;
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
