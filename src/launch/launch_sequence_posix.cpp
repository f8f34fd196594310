#include <sys/stat.h>

#include "fs/path.h"
#include "launch/launch_sequence_os.h"
#include "log/log.h"

namespace ferrolan::launch::detail {

std::string SourceLauncher(const std::string& binFolder) {
  std::string path = binFolder;
  fs::PathJoin(path, "java");
  return path;
}

std::string LaunchExecutableName(const std::string& appName) { return appName; }

void CopyPermissions(const std::string& source, const std::string& target) {
  struct stat info {};
  if (stat(source.c_str(), &info) != 0) {
    log::LogSystemError("Extractor", "stat");
    return;
  }
  if (chmod(target.c_str(), info.st_mode & 07777) != 0) log::LogSystemError("Extractor", "chmod");
}

}  // namespace ferrolan::launch::detail
