#include "splash/splash_control.h"

namespace ferrolan::splash {

void StartImaging() {}
void SplashConfigure(const std::string&) {}
void SplashConfigureImage(const std::vector<std::uint8_t>&) {}
void SplashShow() {}
void SplashSetProgress(int) {}
void SplashCleanup() {}

}  // namespace ferrolan::splash
