#include <sys/stat.h>

#include "archive/file_mode.h"

namespace ferrolan::archive {

void MarkExecutableIfProgram(const std::string& path, std::string_view head) {
  if (LooksLikeProgram(head)) chmod(path.c_str(), 0755);
}

}  // namespace ferrolan::archive
