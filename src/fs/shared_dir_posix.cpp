// POSIX view of the system for the shared-directory rules.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

// The user's data folder as the XDG rules place it: $XDG_DATA_HOME, else ~/.local/share. A
// fresh account may not have it yet; it is created then (only in an existing home, and kept
// to its user as the rules ask), so that a per-user install has a place it may write to.
std::optional<std::string> UserDataFolder() {
  std::optional<std::string> xdg = os::GetEnv("XDG_DATA_HOME");
  if (xdg && !xdg->empty()) {
    // Every missing folder on the way is made (a fresh account's ~/.local, say); one that
    // cannot be made leaves the folder missing, and the per-user fallback takes over.
    for (std::size_t slash = xdg->find('/', 1); slash != std::string::npos;
         slash = xdg->find('/', slash + 1))
      mkdir(xdg->substr(0, slash).c_str(), 0700);
    mkdir(xdg->c_str(), 0700);
    return xdg;
  }
  std::optional<std::string> home = Home();
  if (!home) return std::nullopt;
  struct stat info {};
  if (stat(home->c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    mkdir((*home + "/.local").c_str(), 0700);
    mkdir((*home + "/.local/share").c_str(), 0700);
  }
  return *home + "/.local/share";
}

// The Windows variables, with the POSIX places that play their part when they are not set.
std::optional<std::string> EnvWithDefaults(const char* name) {
  std::optional<std::string> value = os::GetEnv(name);
  if (value) return value;
  const std::string key = name;
  if (key == "PROGRAMDATA") return std::string("/var/lib");
  // ALLUSERSPROFILE only serves as the base of the per-user fallback folder here: a folder
  // every user can create folders in, which /var/lib is not.
  if (key == "ALLUSERSPROFILE") return std::string("/var/tmp");
  if (key == "APPDATA" || key == "LOCALAPPDATA") return UserDataFolder();
  if (key == "USERPROFILE") return Home();
  return std::nullopt;
}

std::string UserName() {
  if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_name != nullptr)
    return entry->pw_name;
  return os::GetEnv("USER").value_or("");
}

// True for a real folder (not a link) of the effective user that nobody else may write to.
bool IsOwnPrivateFolder(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
         (info.st_mode & 022) == 0;
}

// The per-user fallback folder lives in a base every user can write to, so its fixed name may
// have been taken by someone else first; then a new folder with a unique name is made beside it.
std::string PrivateFolder(const std::string& path) {
  mkdir(path.c_str(), 0700);
  if (IsOwnPrivateFolder(path)) return path;
  std::string pattern = path + "-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) return pattern;  // fails later, when it is used
  return std::string(buffer.data());
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
  system.privateFolder = PrivateFolder;
  return system;
}

}  // namespace detail
}  // namespace ferrolan::fs
