// The operating-system piece of entry_format.cpp, implemented in entry_format_win.cpp and
// entry_format_posix.cpp. Private to the archive library.
#pragma once

namespace ferrolan::archive::detail {

/// True where the file system silently maps some names onto others or onto devices (Windows:
/// trailing dots and blanks, CON, NUL, COM1 and the like); false where every name is itself.
bool NamesAlias();

}  // namespace ferrolan::archive::detail
