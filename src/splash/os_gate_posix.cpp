#include "splash/splash_control.h"

namespace ferrolan::splash {

bool IsWindowsXpOrLater() { return true; }

}  // namespace ferrolan::splash
