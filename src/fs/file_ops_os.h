// The operating-system pieces of file_ops.cpp, implemented in file_ops_win.cpp and
// file_ops_posix.cpp. Private to the fs library.
#pragma once

#include <optional>
#include <string>

#include "fs/file_ops.h"

namespace ferrolan::fs::detail {

/// Starts a search of a non-empty folder path; none when it cannot be searched.
std::optional<FolderListing> OpenListing(const std::string& path);

/// Removes one file: true on success.
bool RemoveFile(const std::string& path);

/// Removes one empty folder: true on success.
bool RemoveEmptyFolder(const std::string& path);

/// True for a symbolic link or junction that leads to a folder. Such an entry is removed as
/// itself and never walked into, so emptying a tree cannot reach files outside it.
bool IsFolderLink(const std::string& path);

/// Removes a folder link itself, leaving what it points to alone: true on success.
bool RemoveFolderLink(const std::string& path);

/// Gives a copied file the permission bits of its source. POSIX: the mode bits, so copied
/// programs (a JRE's bin/java) stay executable. Windows: nothing to do.
void CopyFileMode(const std::string& source, const std::string& target);

/// MoveFileExA with replace-existing and copy-allowed. POSIX: fails with ENOSYS.
bool MoveReplacing(const std::string& from, const std::string& to);

/// The process's current working directory, or an empty string when it cannot be read.
std::string WorkingFolder();

}  // namespace ferrolan::fs::detail
