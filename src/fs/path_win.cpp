// Windows folder primitives on the ANSI API.
#include "fs/path_os.h"
#include "os/windows.h"

namespace ferrolan::fs::detail {

char PathSeparator() { return '\\'; }

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MakeFolder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

}  // namespace ferrolan::fs::detail
