// POSIX folder primitives.
#include <sys/stat.h>

#include "fs/path.h"

namespace ferrolan::fs {

char PathSeparator() { return '/'; }

bool IsFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int CreateFolder(const std::string& path) {
  if (IsFolder(path)) return 0;
  return mkdir(path.c_str(), 0755) == 0 ? 0 : -1;
}

}  // namespace ferrolan::fs
