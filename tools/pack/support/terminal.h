// Whether a stream is an interactive terminal, so that progress bars appear only where someone
// watches them and never in logs or pipes.
#pragma once

#include <cstdio>

namespace ferrolan::pack {

/// True when `stream` is attached to a terminal: `isatty` on POSIX; on Windows `_isatty`, which
/// is also true for the console and for Wine's terminal but false for files and pipes.
bool IsTerminal(std::FILE* stream);

}  // namespace ferrolan::pack
