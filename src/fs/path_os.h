// The operating-system half of fs/path.h, implemented in path_win.cpp and path_posix.cpp.
// Private to the fs libraries.
#pragma once

#include <cstdio>
#include <string>

namespace ferrolan::fs::detail {

/// The separator this build writes: '\\' on Windows, '/' on POSIX.
char PathSeparator();

/// True when the path names an existing folder: GetFileAttributesA on Windows, stat on POSIX.
bool IsFolder(const std::string& path);

/// True when any entry is at the path; links are examined, not followed.
bool EntryExists(const std::string& path);

/// True when the path itself is a link or reparse point (not followed).
bool IsLink(const std::string& path);

/// Opens a file for writing ("w" or "a" modes of fopen, binary or text) without following a
/// link at its last component: O_NOFOLLOW on POSIX, FILE_FLAG_OPEN_REPARSE_POINT and a check of
/// the opened file's attributes on Windows. A file with more than one hard link is refused too,
/// so a name planted as a second link to someone else's file cannot be written through.
/// nullptr on failure, with errno (POSIX) or the last error (Windows) describing why.
std::FILE* OpenForWritingNoFollow(const std::string& path, const char* mode);

/// Removes a link or reparse point itself, never what it points to: true on success.
bool RemoveLink(const std::string& path);

/// Sets errno (and on Windows the last error) to say that a path was refused because it
/// leads through a link.
void SetLinkRefused();

/// Creates the last component of a folder path (CreateDirectoryA on Windows; mkdir with the
/// modes rwxr-xr-x on POSIX): true on success.
bool MakeFolder(const std::string& path);

}  // namespace ferrolan::fs::detail
