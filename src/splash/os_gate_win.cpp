#include "os/windows.h"
#include "splash/splash_control.h"

namespace ferrolan::splash {

bool IsWindowsXpOrLater() {
  // GetVersion is deprecated in favour of manifests, but it is exactly the gate we want: the
  // low byte is the major version, the next byte the minor version.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  DWORD version = GetVersion();
#pragma GCC diagnostic pop
  unsigned major = LOBYTE(LOWORD(version));
  unsigned minor = HIBYTE(LOWORD(version));
  return major > 5 || (major == 5 && minor >= 1);
}

}  // namespace ferrolan::splash
