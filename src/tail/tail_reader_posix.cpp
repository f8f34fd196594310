#include "tail/tail_reader_os.h"

namespace ferrolan::tail::detail {

bool IsAbsoluteName(const std::string& name) { return !name.empty() && name[0] == '/'; }

}  // namespace ferrolan::tail::detail
