#include "pack/support/terminal.h"

#include "pack/support/terminal_os.h"

namespace ferrolan::pack {

bool IsTerminal(std::FILE* stream) { return stream != nullptr && detail::IsTerminal(stream); }

}  // namespace ferrolan::pack
