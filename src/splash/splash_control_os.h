// The operating-system half of the splash control, implemented in splash_control_win.cpp and
// splash_control_posix.cpp. Private to the splash library.
#pragma once

namespace ferrolan::splash::detail {

/// Windows: the system is XP (5.1) or later, so GDI+ is there. POSIX: always true (Xlib).
bool IsWindowsXpOrLater();

}  // namespace ferrolan::splash::detail
