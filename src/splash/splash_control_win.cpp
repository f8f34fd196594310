#include "os/windows.h"
#include "splash/splash_control_os.h"

namespace ferrolan::splash::detail {

bool IsWindowsXpOrLater() {
  std::optional<os::WindowsVersionNumber> version = os::WindowsVersion();
  if (!version) return false;
  return version->major > 5 || (version->major == 5 && version->minor >= 1);
}

}  // namespace ferrolan::splash::detail
