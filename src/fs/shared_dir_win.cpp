// Windows view of the system for the shared-directory rules.
#include <io.h>

#include <string>

#include "fs/shared_dir_os.h"
#include "os/os.h"
#include "os/windows.h"

namespace ferrolan::fs {
namespace {

std::optional<int> MajorVersion() {
  std::optional<os::WindowsVersionNumber> version = os::WindowsVersion();
  if (!version) return std::nullopt;
  return static_cast<int>(version->major);
}

std::optional<std::string> ShortPath(const std::string& path) {
  char buffer[1024] = {};
  DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return std::nullopt;
  return std::string(buffer, length);
}

std::string UserName() {
  char buffer[100] = {};
  DWORD size = sizeof buffer;
  if (!GetUserNameA(buffer, &size)) return std::string();
  return std::string(buffer);
}

}  // namespace

namespace detail {

SharedDirSystem CurrentSystem() {
  SharedDirSystem system;
  system.env = [](const char* name) { return os::GetEnv(name); };
  system.majorVersion = MajorVersion();
  system.shortPath = ShortPath;
  system.readWritable = [](const std::string& path) { return _access(path.c_str(), 6) == 0; };
  system.userName = UserName;
  return system;
}

}  // namespace detail
}  // namespace ferrolan::fs
