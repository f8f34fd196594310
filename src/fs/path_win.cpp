// Windows folder primitives on the ANSI API.
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdint>

#include "fs/path_os.h"
#include "os/windows.h"

namespace ferrolan::fs::detail {

char PathSeparator() { return '\\'; }

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool EntryExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsLink(const std::string& path) {
  // GetFileAttributesA describes a symbolic link or junction itself, not its target.
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool RemoveLink(const std::string& path) {
  // A junction or folder link goes with the folder call, which removes the link only.
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return RemoveDirectoryA(path.c_str()) != 0;
  return DeleteFileA(path.c_str()) != 0;
}

void SetLinkRefused() {
  errno = EACCES;
  SetLastError(ERROR_CANT_ACCESS_FILE);
}

namespace {

// The C runtime's error number for a failed CreateFileA, as fopen would have set it, so callers
// report the same numbers whichever way a file was opened.
int ErrnoFor(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_CANT_ACCESS_FILE:
      return EACCES;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    default:
      return EINVAL;
  }
}

}  // namespace

std::FILE* OpenForWritingNoFollow(const std::string& path, const char* mode) {
  if (IsLink(path)) {
    SetLinkRefused();
    return nullptr;
  }
  // FILE_FLAG_OPEN_REPARSE_POINT opens a link planted after the check above as itself; the
  // attributes of what was opened then show it, and it is closed untouched.
  const bool append = mode[0] == 'a';
  HANDLE handle = CreateFileA(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = ErrnoFor(GetLastError());
    return nullptr;
  }
  // Emptied only once it has proved to be ours alone, as on POSIX.
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || info.nNumberOfLinks > 1 ||
      (!append && !SetEndOfFile(handle))) {
    CloseHandle(handle);
    SetLinkRefused();
    return nullptr;
  }
  // Like fopen, a mode without "b" writes text.
  const bool binary = std::string(mode).find('b') != std::string::npos;
  const int flags = (append ? _O_APPEND : 0) | (binary ? _O_BINARY : _O_TEXT);
  const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), flags);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, mode);
  if (file == nullptr) _close(fd);  // closes the handle too
  return file;
}

bool MakeFolder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

}  // namespace ferrolan::fs::detail
