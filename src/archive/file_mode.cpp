#include "archive/file_mode.h"

#include "fs/file_ops.h"

namespace ferrolan::archive {

bool LooksLikeProgram(std::string_view head) {
  return head.substr(0, 4) == std::string_view(
                                  "\x7F"
                                  "ELF",
                                  4) ||
         head.substr(0, 2) == "#!";
}

void MarkExecutableIfProgram(const std::string& path, std::string_view head) {
  if (LooksLikeProgram(head)) fs::MakeExecutable(path);
}

}  // namespace ferrolan::archive
