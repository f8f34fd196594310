// POSIX folder primitives.
#include <sys/stat.h>

#include "fs/path_os.h"

namespace ferrolan::fs::detail {

char PathSeparator() { return '/'; }

bool IsFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeFolder(const std::string& path) { return mkdir(path.c_str(), 0755) == 0; }

}  // namespace ferrolan::fs::detail
