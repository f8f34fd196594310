#include <io.h>

#include "terminal.h"

namespace ferrolan::pack {

bool IsTerminal(std::FILE* stream) { return stream != nullptr && _isatty(_fileno(stream)) != 0; }

}  // namespace ferrolan::pack
