#include "fs/file_ops.h"
#include "fs/path.h"
#include "launch/launch_sequence_os.h"

namespace ferrolan::launch::detail {

std::string SourceLauncher(const std::string& binFolder) {
  // A JRE may carry a launcher made for starting applications; the windowed javaw.exe serves
  // otherwise.
  std::string preferred = binFolder;
  fs::PathJoin(preferred, "windowslauncher.exe");
  if (fs::FileExists(preferred) != 0) return preferred;
  std::string windowed = binFolder;
  fs::PathJoin(windowed, "javaw.exe");
  return windowed;
}

std::string LaunchExecutableName(const std::string& appName) { return appName + ".exe"; }

void CopyPermissions(const std::string& /*source*/, const std::string& /*target*/) {}

}  // namespace ferrolan::launch::detail
