// Names of the folders inside a master folder. A component (the updater, the application, a
// JRE) is installed under "Ferrolan-<name>-<version>-complete"; while it is being written it
// lives under a temporary name, "FerrolanTemp-<seconds>-<entries>-app", and it becomes visible
// to PickFolder only when it is renamed to its versioned name. Portable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ferrolan::fs {

/// masterFolder joined with "Ferrolan-" + name + "-" + version + "-complete".
std::string VersionedFolderName(const std::string& masterFolder, std::string_view name,
                                std::string_view version);

/// masterFolder joined with "FerrolanTemp-<seconds>-<entries>-app": the current time in seconds
/// since 1970 (as a signed 32-bit number) and the number of entries a listing of the master
/// folder yields now ("." and ".." included; 0 when it cannot be listed). A name at which
/// anything already exists (a folder, a file, a link) is never given: the count is raised
/// until the name is free. The folder is not created. Two names formed in the same second with
/// no entry created in between are equal.
std::string TempFolderName(const std::string& masterFolder);

/// Creates a temporary folder exclusively and returns its path: the name TempFolderName would
/// give, or the next free one when something takes that name before it is created, so the
/// folder is always a new one of this run and never a link. None when no folder could be
/// created (the master folder is missing, unwritable or reached through a link).
std::optional<std::string> CreateTempFolder(const std::string& masterFolder);

/// The version of a folder name: the text between its last "-" and the "-" before it, read the
/// way atoi reads (leading digits; 0 for none). -1 when the name has fewer than three "-".
/// Reading from the end lets component names hold dashes ("Ferrolan-My-App-<version>-complete").
/// Versions are kept in 64 bits so that eleven-digit versions compare correctly on every platform.
std::int64_t FolderVersion(std::string_view name);

/// The entry of masterFolder whose component (the text between the first "-" and the "-" that
/// starts the version) is exactly `component` and whose version is the highest, as a name relative
/// to masterFolder. Ties keep the entry listed first; a matching entry without a version is never
/// chosen. None when the folder cannot be listed or nothing matches. Logs every match and every new
/// best. A link (or junction) with a matching name is not an installed folder: it is logged and
/// skipped, and nothing counts as installed in a master folder reached through a link.
std::optional<std::string> PickFolder(const std::string& masterFolder, std::string_view component);

}  // namespace ferrolan::fs
