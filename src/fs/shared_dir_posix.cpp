// POSIX view of the system for the shared-directory rules.
#include <pwd.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "fs/shared_dir_os.h"
#include "os/os.h"

namespace ferrolan::fs {
namespace {

std::optional<std::string> Home() {
  std::optional<std::string> home = os::GetEnv("HOME");
  if (home && !home->empty()) return home;
  if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_dir != nullptr)
    return std::string(entry->pw_dir);
  return std::nullopt;
}

// The Windows variables, with the POSIX places that play their part when they are not set.
std::optional<std::string> EnvWithDefaults(const char* name) {
  std::optional<std::string> value = os::GetEnv(name);
  if (value) return value;
  const std::string key = name;
  if (key == "PROGRAMDATA" || key == "ALLUSERSPROFILE") return std::string("/var/lib");
  if (key == "APPDATA" || key == "LOCALAPPDATA") {
    std::optional<std::string> xdg = os::GetEnv("XDG_DATA_HOME");
    if (xdg && !xdg->empty()) return xdg;
    std::optional<std::string> home = Home();
    if (!home) return std::nullopt;
    return *home + "/.local/share";
  }
  if (key == "USERPROFILE") return Home();
  return std::nullopt;
}

std::string UserName() {
  if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_name != nullptr)
    return entry->pw_name;
  return os::GetEnv("USER").value_or("");
}

}  // namespace

namespace detail {

SharedDirSystem CurrentSystem() {
  SharedDirSystem system;
  system.env = EnvWithDefaults;
  system.majorVersion = 6;  // behaves like a current Windows
  system.shortPath = [](const std::string&) -> std::optional<std::string> { return std::nullopt; };
  system.readWritable = [](const std::string& path) {
    return access(path.c_str(), R_OK | W_OK) == 0;
  };
  system.userName = UserName;
  return system;
}

}  // namespace detail
}  // namespace ferrolan::fs
