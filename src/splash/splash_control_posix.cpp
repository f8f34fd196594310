#include "splash/splash_control_os.h"

namespace ferrolan::splash::detail {

// The POSIX splash paints with Xlib, which every supported system has.
bool IsWindowsXpOrLater() { return true; }

}  // namespace ferrolan::splash::detail
