// The names and texts of the desktop integration that do not depend on the system: the file
// name of the launcher's copy, the names under which shortcuts and entries are made, the
// uninstall command, and the freedesktop Desktop Entry a POSIX desktop shows in its menus.
// Portable: the POSIX backend writes the entry text, but it is plain text and tested anywhere.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ferrolan::desktop {

/// The argument that, given last, turns a run into an uninstall (the launcher's run modes
/// select it; the installed-programs entry passes it).
inline constexpr const char* kUninstallArgument = "FLUNINSTALL";

/// "Ferrolan-" + appName: the name of the installed-programs entry, and the name the master
/// folder must have before an uninstall removes it.
std::string EntryName(std::string_view appName);

/// The command an installed-programs list runs to uninstall: the copy's path in double quotes,
/// then the uninstall argument.
std::string UninstallCommand(std::string_view copyPath);

/// The application's name made into a file name any desktop accepts: ASCII letters, digits,
/// "-" and "." stay; every other byte (the "_" itself included) becomes "_" and two hex digits.
/// Distinct names give distinct results, so one application's entry is never another's.
std::string SanitisedName(std::string_view appName);

/// "ferrolan-" + SanitisedName(appName): the desktop file ID (without ".desktop") and the name
/// of the icon in the icon theme.
std::string DesktopFileId(std::string_view appName);

/// One argument of an Exec key, quoted as freedesktop Desktop Entries want it: in double quotes,
/// with
/// '"', '`', '$' and '\' escaped by a backslash, and then the string-value escaping applied
/// (so a backslash becomes four); '%' is doubled, since a single one starts a field code.
std::string QuoteExecArgument(std::string_view argument);

/// What a Desktop Entry of an installed application says.
struct DesktopEntryFields {
  std::string name;          // the application's name, shown in menus
  std::string copyPath;      // the launcher's copy, the program the entry runs
  std::string icon;          // an icon name or absolute path; empty for none
  std::string masterFolder;  // marks the entry as this installation's
};

/// The text of the .desktop file: Type=Application, Name, Exec, Icon (when given),
/// Terminal=false, Categories, and X-Ferrolan-MasterFolder, which tells an uninstall that the
/// file is the one it made.
std::string DesktopEntryText(const DesktopEntryFields& fields);

/// True when `text` is a Desktop Entry that this launcher made for `masterFolder`: a file of
/// the same name that someone else wrote is left alone by an uninstall.
bool IsOurDesktopEntry(std::string_view text, std::string_view masterFolder);

}  // namespace ferrolan::desktop
