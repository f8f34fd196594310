// The system-bound half of the desktop integration, private to this module.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "desktop/desktop.h"

namespace ferrolan::desktop::detail {

/// ".exe" on Windows, "" on POSIX.
const char* ExecutableSuffix();

/// The icon file an application folder may carry for this system: "FerrolanIcon.ico" on
/// Windows, "FerrolanIcon.png" on POSIX; and the suffix its copy beside the launcher copy gets.
const char* IconFileName();
const char* IconSuffix();

/// True when both paths name the same existing file (the same file system object, not merely
/// equal text).
bool SameFile(const std::string& a, const std::string& b);

/// The size of a file, or none when it cannot be examined.
std::optional<std::uint64_t> FileSize(const std::string& path);

/// Renames `from` over `to`, replacing a file there in one step. False with the system's error
/// logged.
bool MoveOver(const std::string& from, const std::string& to);

/// Removes a file, or an empty folder. False when something is still there afterwards.
bool RemoveFile(const std::string& path);
bool RemoveEmptyFolder(const std::string& path);

/// Creates the shortcuts (or menu entry) and the installed-programs entry that are missing.
/// `iconPath` is the icon beside the copy, or empty. True when all of them are in place.
bool CreateEntries(const Installation& installation, const std::string& copyPath,
                   const std::string& iconPath);

/// Removes the shortcuts (or menu entry and icon) and the installed-programs entry of this
/// installation; entries of the same name that are not this installation's stay. True when none
/// of this installation's is left.
bool RemoveEntries(const Installation& installation, const std::string& copyPath);

/// Moves the process's working folder out of `folder` when it lies inside it: Windows cannot
/// remove a folder that is some process's working folder. Nothing to do on POSIX.
void StepOutOf(const std::string& folder);

/// Removes the file of the running program, which lies inside a folder about to be removed.
/// POSIX unlinks it. Windows, where the file of a running program cannot be deleted, moves it
/// into the temporary folder and schedules it for deletion at the next restart.
bool RemoveRunningProgram(const std::string& path);

}  // namespace ferrolan::desktop::detail
