// Temporary stand-ins for the Windows half of the splash until its GDI+ backend lands in
// splash_control_win.cpp: the imaging library counts as started, there is no image and no
// window. Delete this file when that backend defines these functions (the linker then reports
// them twice until it is gone).
#include "splash/splash_control_os.h"

namespace ferrolan::splash::detail {

bool StartImaging() { return true; }
void StopImaging() {}
std::optional<ArgbImage> LoadPng(const std::string&) { return std::nullopt; }
std::unique_ptr<SplashWindow> StartSplashWindow(const ArgbImage&, int) { return nullptr; }
std::optional<ArgbImage> CaptureScreen(const WindowBounds&) { return std::nullopt; }

}  // namespace ferrolan::splash::detail
