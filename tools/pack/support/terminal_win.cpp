#include <io.h>

#include "pack/support/terminal_os.h"

namespace ferrolan::pack::detail {

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

}  // namespace ferrolan::pack::detail
