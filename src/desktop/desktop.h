// Desktop integration of an installed application: a copy of the launcher in the master folder
// that shortcuts can run, the shortcuts or menu entry, the installed-programs entry, and the
// uninstall that removes all of it again together with the master folder.
//
// Nothing here ends a run: integration logs what it could not do and returns, since a missing
// shortcut must never stop an install or a launch; the uninstall returns its outcome for the
// launcher to turn into an exit code.
//
// Platforms: Windows makes a Start-menu shortcut (and a desktop one when asked) with the shell's
// link object, and an entry under the Uninstall key of HKCU (HKLM for all-users installs).
// POSIX writes a Desktop Entry into $XDG_DATA_HOME/applications (~/.local/share without it)
// and the PNG icon into the hicolor icon theme there; it has no installed-programs list and no
// desktop shortcut. The copy is "<App Name>.exe" on Windows and "<App Name>" (mode rwxr-xr-x)
// on POSIX.
#pragma once

#include <string>

namespace ferrolan::desktop {

/// The environment variable that turns desktop integration off when set to anything but "0"
/// or empty: test runs and benchmarks install into throwaway folders and must not leave
/// shortcuts in the user's menus.
inline constexpr const char* kDisableVariable = "FERROLAN_NO_DESKTOP_INTEGRATION";

/// What integration and uninstall need to know about an installation.
struct Installation {
  std::string appName;
  std::string masterFolder;
  bool allUsers = false;         // install type perm_all: common folders, machine-wide entry
  bool desktopShortcut = false;  // the Params ask for a desktop shortcut (Windows)
  std::string publisher;         // empty when the build names none
};

/// The launcher's copy in the master folder that shortcuts run.
std::string LauncherCopyPath(const Installation& installation);

/// False, after a log line, when kDisableVariable turns integration off.
bool IntegrationEnabled();

/// Makes what is missing: the launcher's copy (refreshed when `runningExecutable` is a different
/// file; never when it is the copy itself), the icon beside it, the shortcuts or menu entry and
/// the installed-programs entry. True when everything is in place; every failure is logged and
/// the caller goes on either way.
bool Integrate(const Installation& installation, const std::string& runningExecutable);

enum class UninstallOutcome {
  kRemoved,           // everything of the installation is gone
  kNothingInstalled,  // there was nothing left to remove (a second uninstall)
  kRefused,           // the master folder does not look like ours: nothing was touched
  kIncomplete,        // something could not be removed; the log says what
};

/// Removes the shortcuts or menu entry and icon, the installed-programs entry and the master
/// folder, and nothing else: entries are removed only when they are this installation's, and a
/// master folder is removed only when it is named EntryName(appName) and holds the folders a
/// launcher makes. `runningExecutable` may lie inside the master folder (the copy runs the
/// uninstall); Windows, which cannot delete a running program, moves it to the temporary folder
/// and schedules it for deletion at the next restart.
UninstallOutcome Uninstall(const Installation& installation, const std::string& runningExecutable);

/// Makes `target` a copy of `source` unless it already is one (the same file, or the same size
/// and bytes): written to a temporary file beside it, made executable when asked, and renamed
/// over it. True when `target` is a copy afterwards; a failure is logged.
bool RefreshCopy(const std::string& source, const std::string& target, bool executable);

/// True when `masterFolder` may be removed as the master folder of `appName`: its last
/// component is EntryName(appName), it is a folder and not a link, and it holds a folder that
/// every start of a launcher makes there.
bool LooksLikeMasterFolder(const std::string& masterFolder, const std::string& appName);

}  // namespace ferrolan::desktop
