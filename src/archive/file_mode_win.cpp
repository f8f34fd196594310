#include "archive/file_mode.h"

namespace ferrolan::archive {

void MarkExecutableIfProgram(const std::string&, std::string_view) {}

}  // namespace ferrolan::archive
