#include "splash/splash_control.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>

#include "log/log.h"
#include "splash/frame_renderer.h"
#include "splash/splash_control_os.h"

namespace ferrolan::splash {
namespace {

// A border beyond this is not a border but a mistake in the Params section; it is capped so
// that the window's size cannot overflow.
constexpr int kMaxBorder = 4096;

struct SplashState {
  std::mutex mutex;
  bool configured = false;
  ArgbImage image;
  int border = 0;
  int progress = kNoBar;
  std::unique_ptr<detail::SplashWindow> window;
  bool exitHandlerRegistered = false;
};

SplashState& State() {
  static SplashState state;
  return state;
}

// Ends the splash thread of a window the run left open. Registered after State() was first
// used, so it runs before the state itself is destroyed.
void StopAtExit() {
  SplashState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.window.reset();
}

}  // namespace

bool IsWindowsXpOrLater() { return detail::IsWindowsXpOrLater(); }

void StartImaging() {
  if (!detail::StartImaging()) log::LogPrintf("[Splash] The imaging library is not available\n");
}

void SplashSetBorder(int pixels) {
  SplashState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.border = std::clamp(pixels, 0, kMaxBorder);
}

void SplashConfigure(const std::string& imageFile) {
  SplashState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.configured) return;
  state.configured = true;
  state.image = detail::LoadPng(imageFile).value_or(ArgbImage{});
}

void SplashShow() {
  SplashState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.window) return;
  if (!state.configured) {
    log::LogPrintf("Error starting SplashThread\n");
    return;
  }
  const FrameGeometry geometry = GeometryFor(state.image.width, state.image.height, state.border);
  if (geometry.width <= 0 || geometry.borderedHeight <= 0) {
    log::LogPrintf("[Splash] No image and no border: nothing to show\n");
    return;
  }
  if (!state.exitHandlerRegistered) {
    state.exitHandlerRegistered = std::atexit(StopAtExit) == 0;
  }
  state.window = detail::StartSplashWindow(state.image, state.border);
  if (!state.window) return;
  if (state.progress != kNoBar) state.window->SetProgress(state.progress);
  const detail::WindowBounds bounds = state.window->Bounds();
  log::LogPrintf("[Splash] Showing a %d x %d splash at %d,%d\n", bounds.width, bounds.height,
                 bounds.x, bounds.y);
}

void SplashSetProgress(int percent) {
  SplashState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.progress = percent;
  if (state.window) state.window->SetProgress(percent);
}

void SplashCleanup() {
  SplashState& state = State();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.window.reset();
  }
  log::LogPrintf("[HttpDownloader] Cleaning up...\n");
  detail::StopImaging();
}

}  // namespace ferrolan::splash
