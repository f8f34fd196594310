#include "fs/shared_dir.h"

#include <string>

#include "fs/file_ops.h"
#include "fs/path.h"
#include "fs/shared_dir_os.h"
#include "log/log.h"

namespace ferrolan::fs {
namespace {

using log::LogPrintf;

bool IsAscii(const std::string& s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// A candidate the Java side can use: it exists for reading and writing, and its path holds
// neither a non-ASCII byte nor a "!" (which a class path or jar URL would misread).
bool IsUsable(const SharedDirSystem& system, const std::string& dir) {
  LogPrintf("Validating directory...\n");
  LogPrintf("Shared dir detected is %s\n", dir.c_str());
  LogPrintf("Checking if %s exists\n", dir.c_str());
  if (!system.readWritable(dir)) return false;
  LogPrintf("Checking if string is cAscii %s\n", dir.c_str());
  if (!IsAscii(dir)) return false;
  LogPrintf("Checking if %s contains a !\n", dir.c_str());
  return dir.find('!') == std::string::npos;
}

}  // namespace

SharedDirSystem CurrentSystem() { return detail::CurrentSystem(); }

const char* InstallTypeMessage(std::string_view installType) {
  if (installType == "perm_all") return "Permanent install for all users\n";
  if (installType == "perm_user") return "Permanent install for current user\n";
  return "Temporary install\n";
}

bool IsAllUsersInstall(std::string_view installType) { return installType == "perm_all"; }

std::optional<std::string> AllUsersSharedDir(const SharedDirSystem& system) {
  if (system.majorVersion && *system.majorVersion > 5) return system.env("PROGRAMDATA");
  std::optional<std::string> profile = system.env("ALLUSERSPROFILE");
  if (!profile || profile->empty()) return std::nullopt;
  std::string dir = *profile;
  PathJoin(dir, "Application Data");
  CreateFolder(dir);
  return dir;
}

std::string UserSharedDir(const SharedDirSystem& system) {
  std::optional<std::string> appData = system.env("APPDATA");
  std::optional<std::string> candidate;
  if (appData && appData->size() > 2 && (*appData)[0] == '\\' && (*appData)[1] == '\\') {
    // A roaming profile on a network share: prefer the machine-local application data.
    LogPrintf("[Extractor] Roaming AppData directory detected\n");
    if (!system.majorVersion) {
      candidate = appData;
    } else if (*system.majorVersion <= 5) {
      if (std::optional<std::string> profile = system.env("USERPROFILE")) {
        std::string dir = *profile;
        PathJoin(dir, "Local Settings");
        PathJoin(dir, "Application Data");
        candidate = dir;
      }
    } else {
      candidate = system.env("LOCALAPPDATA");
      if (candidate) {
        LogPrintf("[Extractor] Local AppData directory resolved to %s\n", candidate->c_str());
      }
    }
  } else {
    LogPrintf("[Extractor] Local AppData directory detected\n");
    candidate = appData;
  }

  // An unset variable leaves no candidate: it counts as a directory that is not usable.
  if (candidate && !candidate->empty()) {
    if (IsUsable(system, *candidate)) {
      LogPrintf("Shared directory appears valid.\n");
      return *candidate;
    }
    LogPrintf("The directory %s appears invalid.\n", candidate->c_str());
    LogPrintf("Trying the short path instead.\n");
    if (std::optional<std::string> shortPath = system.shortPath(*candidate)) {
      LogPrintf("Got short path of %s\n", shortPath->c_str());
      LogPrintf("Checking if %s exists\n", candidate->c_str());
      if (system.readWritable(*candidate)) return *shortPath;
    }
  }
  return UserSpecificDir(system);
}

std::uint32_t UserNameHash(std::string_view name) {
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < name.size(); ++i) {
    hash ^= static_cast<unsigned char>(name[i]);
    hash *= 16777619u;
    LogPrintf("[%d] %d %d\n", static_cast<int>(i),
              static_cast<int>(static_cast<signed char>(name[i])),
              static_cast<int>(static_cast<std::int32_t>(hash)));
  }
  return hash;
}

std::string UserSpecificFolderName(std::string_view userName) {
  std::uint32_t hash = UserNameHash(userName);
  // Negate in unsigned arithmetic: 0x80000000 has no positive counterpart and stays negative.
  if (static_cast<std::int32_t>(hash) < 0) hash = 0u - hash;
  std::string cleaned(userName);
  for (char& c : cleaned) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '_';
  }
  return "FLUser-" + std::to_string(static_cast<std::int32_t>(hash)) + "-" + cleaned;
}

std::string UserSpecificDir(const SharedDirSystem& system) {
  std::optional<std::string> base = system.env("ALLUSERSPROFILE");
  if (!base || base->empty()) base = TempFolderPath();
  std::string dir = *base;
  PathJoin(dir, UserSpecificFolderName(system.userName()));
  if (system.privateFolder) {
    std::string own = system.privateFolder(dir);
    if (own != dir) LogPrintf("[Extractor] %s is not ours; using %s\n", dir.c_str(), own.c_str());
    return own;
  }
  CreateFolder(dir);
  return dir;
}

}  // namespace ferrolan::fs
