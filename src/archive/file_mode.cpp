#include "archive/file_mode.h"

namespace ferrolan::archive {

bool LooksLikeProgram(std::string_view head) {
  return head.substr(0, 4) == std::string_view(
                                  "\x7F"
                                  "ELF",
                                  4) ||
         head.substr(0, 2) == "#!";
}

}  // namespace ferrolan::archive
