#include <unistd.h>

#include "terminal.h"

namespace ferrolan::pack {

bool IsTerminal(std::FILE* stream) { return stream != nullptr && isatty(fileno(stream)) != 0; }

}  // namespace ferrolan::pack
