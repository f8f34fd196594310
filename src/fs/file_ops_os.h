// The operating-system pieces of file_ops.cpp, implemented in file_ops_win.cpp and
// file_ops_posix.cpp. Private to the fs library. Each backend also defines FolderListing::Impl,
// the search state that only its own functions below look into.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "fs/file_ops.h"

namespace ferrolan::fs::detail {

/// Starts a search of a non-empty folder path; none when it cannot be searched.
std::optional<FolderListing> OpenListing(const std::string& path);

/// The next entry of a search, or none at its end (or after it was ended).
std::optional<std::string> NextListingEntry(FolderListing::Impl& listing);

/// Ends a search: 0, or -1 when it was already ended or the system refused.
int CloseListing(FolderListing::Impl& listing);

/// Frees the search state, ending the search first when it is still open.
void DestroyListing(FolderListing::Impl* listing);

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
/// programs (a JRE's bin/java) stay executable. Windows: nothing to do. Returns nullptr on
/// success, else the name of the system call that failed ("stat" or "chmod"), with the
/// system's last error still describing why.
const char* CopyFileMode(const std::string& source, const std::string& target);

/// POSIX: sets the modes rwxr-xr-x. Windows: nothing to do.
void MakeExecutable(const std::string& path);

/// MoveFileExA with replace-existing and copy-allowed. POSIX: fails with ENOSYS.
bool MoveReplacing(const std::string& from, const std::string& to);

/// The process's current working directory, or an empty string when it cannot be read.
std::string WorkingFolder();

/// The system's folder for temporary files: GetTempPathA on Windows (without its final
/// separator); TMPDIR when it is an absolute path, else /tmp, on POSIX. Empty when unknown.
std::string SystemTempFolder();

/// A file's last modification time, in the system's own units (100 ns since 1601 on Windows,
/// nanoseconds since 1970 on POSIX); none when it cannot be read.
std::optional<std::int64_t> ModifiedTime(const std::string& path);

/// Sets a file's last modification time to a value ModifiedTime gave; false on failure.
bool SetModifiedTime(const std::string& path, std::int64_t time);

}  // namespace ferrolan::fs::detail
