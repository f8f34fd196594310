#include "tail/tail_reader.h"

namespace ferrolan::tail {

bool IsAbsoluteName(const std::string& name) { return !name.empty() && name[0] == '/'; }

}  // namespace ferrolan::tail
