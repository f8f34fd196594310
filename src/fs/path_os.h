// The operating-system half of fs/path.h, implemented in path_win.cpp and path_posix.cpp.
// Private to the fs libraries.
#pragma once

#include <string>

namespace ferrolan::fs::detail {

/// The separator this build writes: '\\' on Windows, '/' on POSIX.
char PathSeparator();

/// True when the path names an existing folder: GetFileAttributesA on Windows, stat on POSIX.
bool IsFolder(const std::string& path);

/// Creates the last component of a folder path (CreateDirectoryA on Windows; mkdir with the
/// modes rwxr-xr-x on POSIX): true on success.
bool MakeFolder(const std::string& path);

}  // namespace ferrolan::fs::detail
