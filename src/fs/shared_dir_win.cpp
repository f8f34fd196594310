// Windows view of the system for the shared-directory rules.
#include <io.h>

#include <string>

#include "fs/shared_dir.h"
#include "os/os.h"
#include "os/windows.h"

namespace ferrolan::fs {
namespace {

std::optional<int> MajorVersion() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;  // 148 bytes
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  BOOL ok = GetVersionExA(&info);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  if (!ok) return std::nullopt;
  return static_cast<int>(info.dwMajorVersion);
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

SharedDirSystem CurrentSystem() {
  static_assert(sizeof(OSVERSIONINFOA) == 148, "GetVersionExA expects the 148-byte record");
  SharedDirSystem system;
  system.env = [](const char* name) { return os::GetEnv(name); };
  system.majorVersion = MajorVersion();
  system.shortPath = ShortPath;
  system.readWritable = [](const std::string& path) { return _access(path.c_str(), 6) == 0; };
  system.userName = UserName;
  return system;
}

}  // namespace ferrolan::fs
