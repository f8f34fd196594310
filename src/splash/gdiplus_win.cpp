#include "splash/gdiplus_win.h"

#include <atomic>
#include <mutex>

#include "log/log.h"
#include "os/os.h"
#include "splash/splash_control_os.h"

namespace ferrolan::splash::detail {
namespace {

// The process-wide GDI+: the loaded library, its functions and the token of GdiplusStartup.
class Imaging {
 public:
  ~Imaging() { Stop(); }

  bool Start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (started_.load()) return true;
    os::DynamicLibrary library("gdiplus.dll");
    if (!library.IsLoaded()) {
      LogSystemErrorOnce("LoadLibrary gdiplus.dll");
      return false;
    }
    auto startup = library.Function<decltype(&Gdiplus::GdiplusStartup)>("GdiplusStartup");
    auto shutdown = library.Function<decltype(&Gdiplus::GdiplusShutdown)>("GdiplusShutdown");
    GdiPlusApi api;
    bool complete = startup != nullptr && shutdown != nullptr;
    complete &= Resolve(library, "GdipCreateBitmapFromFile", api.createBitmapFromFile);
    complete &= Resolve(library, "GdipCreateBitmapFromScan0", api.createBitmapFromScan0);
    complete &= Resolve(library, "GdipGetImageWidth", api.getImageWidth);
    complete &= Resolve(library, "GdipGetImageHeight", api.getImageHeight);
    complete &= Resolve(library, "GdipBitmapLockBits", api.bitmapLockBits);
    complete &= Resolve(library, "GdipBitmapUnlockBits", api.bitmapUnlockBits);
    complete &= Resolve(library, "GdipDisposeImage", api.disposeImage);
    complete &= Resolve(library, "GdipCreateFromHDC", api.createFromHdc);
    complete &= Resolve(library, "GdipSetCompositingMode", api.setCompositingMode);
    complete &= Resolve(library, "GdipDrawImageRectI", api.drawImageRectI);
    complete &= Resolve(library, "GdipDeleteGraphics", api.deleteGraphics);
    Resolve(library, "GdipSaveImageToFile", api.saveImageToFile);
    if (!complete) {
      log::LogPrintf("[Splash] gdiplus.dll lacks functions the splash needs\n");
      return false;
    }
    // Version 1, no debug callback, GDI+ runs its own background thread and may use external
    // codecs; no output record is wanted since the background thread is not suppressed.
    Gdiplus::GdiplusStartupInput input(nullptr, FALSE, FALSE);
    ULONG_PTR token = 0;
    const Gdiplus::Status status = startup(&token, &input, nullptr);
    if (status != Gdiplus::Ok) {
      log::LogPrintf("[Splash] GdiplusStartup failed with status %d\n", static_cast<int>(status));
      return false;
    }
    library_ = std::move(library);
    shutdown_ = shutdown;
    api_ = api;
    token_ = token;
    started_.store(true);
    return true;
  }

  void Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!started_.exchange(false)) return;
    shutdown_(token_);
    token_ = 0;
    api_ = GdiPlusApi{};
    library_ = os::DynamicLibrary();
  }

  const GdiPlusApi* Api() const { return started_.load() ? &api_ : nullptr; }

 private:
  template <typename Fn>
  static bool Resolve(const os::DynamicLibrary& library, const char* name, Fn& function) {
    function = library.Function<Fn>(name);
    return function != nullptr;
  }

  // A system without GDI+ would otherwise log the same failure on every use.
  void LogSystemErrorOnce(const char* operation) {
    if (loadFailureLogged_) return;
    loadFailureLogged_ = true;
    log::LogSystemError("Splash", operation);
  }

  std::mutex mutex_;
  os::DynamicLibrary library_;
  decltype(&Gdiplus::GdiplusShutdown) shutdown_ = nullptr;
  GdiPlusApi api_;
  ULONG_PTR token_ = 0;
  std::atomic<bool> started_{false};
  bool loadFailureLogged_ = false;
};

Imaging& TheImaging() {
  static Imaging imaging;
  return imaging;
}

}  // namespace

const GdiPlusApi* GdiPlus() { return TheImaging().Api(); }

bool StartImaging() { return TheImaging().Start(); }

void StopImaging() { TheImaging().Stop(); }

}  // namespace ferrolan::splash::detail
