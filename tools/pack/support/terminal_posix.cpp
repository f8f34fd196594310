#include <unistd.h>

#include "pack/support/terminal_os.h"

namespace ferrolan::pack::detail {

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

}  // namespace ferrolan::pack::detail
