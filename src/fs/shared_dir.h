// The shared directory that holds an application's master folder, chosen by the install type:
// the all-users directory for "perm_all", the current user's directory for every other type.
// Directories the Java side cannot use (a non-ASCII byte or a "!" in the path) are replaced by
// their short form or, failing that, by a per-user folder of our own.
//
// Platforms: Windows reads PROGRAMDATA, ALLUSERSPROFILE, APPDATA, LOCALAPPDATA and USERPROFILE,
// asks GetVersionExA for the system's major version, GetShortPathNameA for short paths and
// GetUserNameA for the user's name. POSIX reads the same variables when they are set and
// otherwise uses defaults (all-users: /var/lib; per-user: $XDG_DATA_HOME or ~/.local/share,
// created with the modes rwx------ when missing; USERPROFILE: $HOME; the base of the per-user
// fallback folder: /var/tmp, never /var/lib, which only root could write to); it behaves like a
// current Windows (major version above 5), has no short paths, and takes the user's name from
// the password database or $USER.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ferrolan::fs {

/// The log line the main flow writes for an install type: "Permanent install for all users\n"
/// for "perm_all", "Permanent install for current user\n" for "perm_user", else
/// "Temporary install\n".
const char* InstallTypeMessage(std::string_view installType);

/// True for "perm_all", whose shared directory is AllUsersSharedDir; every other install type
/// uses UserSharedDir.
bool IsAllUsersInstall(std::string_view installType);

/// What the shared-directory rules need to know about the system. The real one comes from
/// CurrentSystem(); tests build their own to walk every branch on any platform. The rules take
/// this view as a value rather than calling the backend themselves because their Windows
/// branches (an XP system, short paths, a missing variable) could not be reached on a POSIX
/// test machine otherwise.
struct SharedDirSystem {
  /// An environment variable (with the POSIX defaults applied), or none.
  std::function<std::optional<std::string>(const char*)> env;
  /// The system's major version, or none when it cannot be read.
  std::optional<int> majorVersion;
  /// The short form of an existing path, or none.
  std::function<std::optional<std::string>(const std::string&)> shortPath;
  /// The C runtime's access test with mode 6: readable and writable.
  std::function<bool(const std::string&)> readWritable;
  /// The user's name, empty when it cannot be read.
  std::function<std::string()> userName;
  /// Makes the per-user fallback folder and returns the folder to use. POSIX keeps it to its
  /// user: created with the modes rwx------, and a folder of that name that is a link, belongs
  /// to someone else or is open to others (in a shared base such as /var/tmp) is replaced by
  /// a fresh folder of its own beside it. Unset (Windows, tests): CreateFolder, same path.
  std::function<std::string(const std::string&)> privateFolder;
};

/// The running system: the view shared_dir_win.cpp or shared_dir_posix.cpp builds.
SharedDirSystem CurrentSystem();

/// The all-users directory: PROGRAMDATA on systems above major version 5, else
/// ALLUSERSPROFILE joined with "Application Data" (created when missing). None when the
/// variable it needs is not set.
std::optional<std::string> AllUsersSharedDir(const SharedDirSystem& system = CurrentSystem());

/// The per-user directory (APPDATA, LOCALAPPDATA for a roaming APPDATA, or the XP local
/// settings folder), validated and replaced by its short path or UserSpecificDir when the Java
/// side could not use it. Never empty.
std::string UserSharedDir(const SharedDirSystem& system = CurrentSystem());

/// ALLUSERSPROFILE joined with "FLUser-<hash>-<name>", created when missing (through
/// SharedDirSystem::privateFolder when set). When ALLUSERSPROFILE is not set the system's
/// temporary folder takes its place, so a path is always returned.
std::string UserSpecificDir(const SharedDirSystem& system = CurrentSystem());

/// 32-bit FNV-1a over the bytes of `name`, logging "[%d] %d %d\n" (index, byte as a signed
/// value, hash so far as a signed value) after each byte.
std::uint32_t UserNameHash(std::string_view name);

/// "FLUser-" + the hash as a signed value made non-negative (0x80000000 stays -2147483648) +
/// "-" + the name with every byte from 0x80 up replaced by "_".
std::string UserSpecificFolderName(std::string_view userName);

}  // namespace ferrolan::fs
