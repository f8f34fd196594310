// The operating-system half of terminal.h, implemented in terminal_win.cpp and
// terminal_posix.cpp. Private to the packager.
#pragma once

#include <cstdio>

namespace ferrolan::pack::detail {

/// True when `stream` (not null) is attached to a terminal: `isatty` on POSIX, `_isatty` on
/// Windows.
bool IsTerminal(std::FILE* stream);

}  // namespace ferrolan::pack::detail
