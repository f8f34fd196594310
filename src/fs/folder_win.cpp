// Windows folder primitives on the ANSI API.
#include "fs/path.h"
#include "os/windows.h"

namespace ferrolan::fs {

char PathSeparator() { return '\\'; }

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int CreateFolder(const std::string& path) {
  if (IsFolder(path)) return 0;
  return CreateDirectoryA(path.c_str(), nullptr) ? 0 : -1;
}

}  // namespace ferrolan::fs
