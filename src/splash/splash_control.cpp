#include "splash/splash_control.h"

#include "splash/splash_control_os.h"

namespace ferrolan::splash {

bool IsWindowsXpOrLater() { return detail::IsWindowsXpOrLater(); }

void StartImaging() {}
void SplashConfigure(const std::string&) {}
void SplashConfigureImage(const std::vector<std::uint8_t>&) {}
void SplashShow() {}
void SplashSetProgress(int) {}
void SplashCleanup() {}

}  // namespace ferrolan::splash
