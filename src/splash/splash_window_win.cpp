// The Windows splash window: the image splash (a Win32 popup painted with GDI+ from the
// portable frame renderer) and, on systems before XP, the legacy splash (a bare progress bar
// control). Each lives on a thread of its own with its own message loop.
#include "splash/gdiplus_win.h"
// <commctrl.h> needs <windows.h>, which gdiplus_win.h brings.
#include <commctrl.h>
#include <process.h>

#include <atomic>
#include <cstdint>

#include "log/log.h"
#include "os/os.h"
#include "splash/splash_control_os.h"

namespace ferrolan::splash::detail {
namespace {

using log::LogPrintf;

constexpr char kClassName[] = "FerrolanSplashWindow";
constexpr DWORD kReadyTimeoutMs = 5000;
constexpr DWORD kQuitTimeoutMs = 9000;
constexpr DWORD kTerminatedExitCode = 2222;
constexpr UINT_PTR kMarqueeTimerId = 100;
constexpr UINT kMarqueeIntervalMs = 30;
constexpr int kLegacyWidth = 300;
constexpr int kLegacyHeight = 30;

// Sent (or, for the indeterminate state, posted) to the image splash after its progress value
// changed; the window's thread then starts or stops the marquee timer and repaints. The timer
// has to belong to the window's thread, and the handler reads the current value rather than a
// value carried by the message, so a posted message overtaken by a later sent one does no harm.
constexpr UINT kProgressChanged = WM_APP + 1;

// The thread of one splash window: started with a procedure that signals ready once its window
// is up, and ended on destruction by a quit message, or forcibly when it does not end in time.
class SplashThread {
 public:
  using Procedure = unsigned(__stdcall*)(void*);

  SplashThread() = default;
  SplashThread(const SplashThread&) = delete;
  SplashThread& operator=(const SplashThread&) = delete;
  ~SplashThread() { Stop(); }

  // Starts the thread and waits until its window is up: true then. False at once when the
  // thread ends without a window (it logged why), and after 5000 ms when it never signals.
  bool Start(Procedure procedure, void* argument) {
    ready_ = os::ScopedHandle(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!ready_.IsValid()) {
      log::LogSystemError("Splash", "CreateEventA");
      return false;
    }
    unsigned id = 0;
    const std::uintptr_t handle = _beginthreadex(nullptr, 0, procedure, argument, 0, &id);
    if (handle == 0) {
      LogPrintf("Error starting SplashThread\n");
      return false;
    }
    thread_ = os::ScopedHandle(reinterpret_cast<HANDLE>(handle));
    id_ = id;
    const HANDLE events[] = {ready_.get(), thread_.get()};
    const DWORD woken = WaitForMultipleObjects(2, events, FALSE, kReadyTimeoutMs);
    if (woken == WAIT_OBJECT_0) return true;
    if (woken != WAIT_OBJECT_0 + 1) LogPrintf("Error starting SplashThread\n");
    return false;
  }

  // Called by the thread itself once its window is shown and it has a message queue.
  void SignalReady() const { SetEvent(ready_.get()); }

 private:
  void Stop() {
    if (!thread_.IsValid()) return;
    PostThreadMessageA(id_, WM_QUIT, 0, 0);
    // A thread stuck in a call of the system must not keep the launcher from going on.
    if (WaitForSingleObject(thread_.get(), kQuitTimeoutMs) != WAIT_OBJECT_0)
      TerminateThread(thread_.get(), kTerminatedExitCode);
    thread_.Close();
    ready_.Close();
  }

  os::ScopedHandle ready_;
  os::ScopedHandle thread_;
  DWORD id_ = 0;
};

// The top-left corner that centres a window of this size on the full rectangle of the monitor
// under the mouse pointer (the primary work area when the monitor cannot be asked).
POINT CentredOrigin(int width, int height) {
  POINT cursor{};
  GetCursorPos(&cursor);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  RECT area{};
  if (GetMonitorInfoA(MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST), &monitor))
    area = monitor.rcMonitor;
  else
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  return POINT{(area.left + area.right - width) / 2, (area.top + area.bottom - height) / 2};
}

WindowBounds BoundsOf(HWND window) {
  RECT rect{};
  if (window == nullptr || !GetWindowRect(window, &rect)) return WindowBounds{};
  return WindowBounds{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

// Runs the thread's message loop until the quit message arrives.
void RunMessageLoop() {
  MSG message{};
  for (;;) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) return;
    if (got == -1) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// Makes sure the calling thread has a message queue, so that the quit message posted to it by
// the destructor cannot get lost.
void EnsureMessageQueue() {
  MSG message{};
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
}

class PaintScope {
 public:
  explicit PaintScope(HWND window) : window_(window) { dc_ = BeginPaint(window_, &paint_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  ~PaintScope() { EndPaint(window_, &paint_); }
  HDC dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_ = nullptr;
};

// Draws a composed frame at (0, 0) of `dc`, with GDI+ when it is started and with plain GDI
// otherwise; both copy the frame's pixels unchanged, since every one of them is opaque.
void DrawFrame(HDC dc, ArgbImage& frame) {
  if (const GdiPlusApi* gdiPlus = GdiPlus()) {
    Gdiplus::GpBitmap* wrapped = nullptr;
    Gdiplus::GpGraphics* graphics = nullptr;
    if (gdiPlus->createBitmapFromScan0(
            frame.width, frame.height, frame.width * 4, PixelFormat32bppARGB,
            reinterpret_cast<BYTE*>(frame.pixels.data()), &wrapped) != Gdiplus::Ok)
      return;
    const ScopedGdiPlusBitmap bitmap(wrapped, GdiPlusImageDeleter{gdiPlus});
    if (gdiPlus->createFromHdc(dc, &graphics) != Gdiplus::Ok) return;
    const ScopedGdiPlusGraphics target(graphics, GdiPlusGraphicsDeleter{gdiPlus});
    gdiPlus->setCompositingMode(target.get(), Gdiplus::CompositingModeSourceCopy);
    gdiPlus->drawImageRectI(target.get(), bitmap.get(), 0, 0, frame.width, frame.height);
    return;
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = frame.width;
  info.bmiHeader.biHeight = -frame.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(frame.width), static_cast<DWORD>(frame.height), 0,
                    0, 0, static_cast<UINT>(frame.height), frame.pixels.data(), &info,
                    DIB_RGB_COLORS);
}

// The image splash: the bordered image with the progress bar below it.
class ImageSplash final : public SplashWindow {
 public:
  ImageSplash(const ArgbImage& image, int border)
      : image_(image), border_(border), geometry_(GeometryFor(image.width, image.height, border)) {}

  bool Start() { return thread_.Start(&ImageSplash::ThreadMain, this); }

  void SetProgress(int value) override {
    const int previous = progress_.exchange(value);
    const int height = WindowHeight(geometry_, value);
    if (height != WindowHeight(geometry_, previous)) {
      const WindowBounds now = BoundsOf(window_);
      SetWindowPos(window_, HWND_TOP, now.x, now.y, now.width, height, SWP_SHOWWINDOW);
    }
    if (value == kIndeterminate) {
      PostMessageA(window_, kProgressChanged, 0, 0);
    } else {
      // Returns once the window's thread has painted the frame of the new value. A splash
      // thread that hangs must not hang the caller (a download, the main flow) with it.
      SendMessageTimeoutA(window_, kProgressChanged, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                          kReadyTimeoutMs, nullptr);
    }
  }

  WindowBounds Bounds() const override { return BoundsOf(window_); }

 private:
  static unsigned __stdcall ThreadMain(void* self) {
    return static_cast<ImageSplash*>(self)->Run();
  }

  unsigned Run() {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_VREDRAW | CS_HREDRAW;
    windowClass.lpfnWndProc = &ImageSplash::Procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(32512));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_APPSTARTING);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    // A splash shown before in this process left the class registered, with this procedure.
    if (!RegisterClassExA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      LogPrintf("Unable to register class SplashWnd\n");
      return 0;
    }
    const int height = WindowHeight(geometry_, progress_.load());
    const POINT origin = CentredOrigin(geometry_.width, height);
    // No title: the tool-window style keeps the splash off the taskbar.
    const HWND window =
        CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, nullptr, WS_POPUP | WS_CLIPCHILDREN, origin.x,
                        origin.y, geometry_.width, height, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
      LogPrintf("Unable to create SplashWnd\n");
      return 0;
    }
    window_ = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ShowWindow(window, SW_SHOWNOACTIVATE);
    EnsureMessageQueue();
    thread_.SignalReady();
    RunMessageLoop();
    DestroyWindow(window);
    return 0;
  }

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ImageSplash*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
      case WM_PAINT:
        self->Paint(window);
        return 0;
      case kProgressChanged:
        self->OnProgressChanged(window);
        return 0;
      case WM_TIMER:
        if (wParam != kMarqueeTimerId) break;
        self->OnMarqueeTick(window);
        return 0;
      default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  // The members below run on the window's thread only.

  void Paint(HWND window) {
    const PaintScope paint(window);
    RenderFrame(image_, border_, progress_.load(), marqueeOffset_, frame_);
    DrawFrame(paint.dc(), frame_);
  }

  void OnProgressChanged(HWND window) {
    if (progress_.load() == kIndeterminate) {
      // Repeated indeterminate values must not restart the period, or the stripes would stand.
      if (!marqueeRunning_)
        marqueeRunning_ = SetTimer(window, kMarqueeTimerId, kMarqueeIntervalMs, nullptr) != 0;
    } else {
      StopMarquee(window);
    }
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }

  void OnMarqueeTick(HWND window) {
    if (progress_.load() != kIndeterminate) {
      StopMarquee(window);
      return;
    }
    marqueeOffset_ = NextMarqueeOffset(marqueeOffset_);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }

  void StopMarquee(HWND window) {
    if (!marqueeRunning_) return;
    KillTimer(window, kMarqueeTimerId);
    marqueeRunning_ = false;
  }

  const ArgbImage image_;
  const int border_;
  const FrameGeometry geometry_;
  std::atomic<int> progress_{kNoBar};
  ArgbImage frame_;
  int marqueeOffset_ = 0;
  bool marqueeRunning_ = false;
  // Written by the window's thread before it signals ready, read by callers only after that.
  HWND window_ = nullptr;
  // Last, so that it is destroyed first: the thread ends before the state it uses goes.
  SplashThread thread_;
};

// The legacy splash of systems before XP, which have no GDI+: a smooth progress bar control
// as a popup of its own, 300 x 30 pixels.
class LegacySplash final : public SplashWindow {
 public:
  bool Start() { return thread_.Start(&LegacySplash::ThreadMain, this); }

  void SetProgress(int value) override {
    SendMessageA(window_, PBM_SETPOS, static_cast<WPARAM>(value), 0);
  }

  WindowBounds Bounds() const override { return BoundsOf(window_); }

 private:
  static unsigned __stdcall ThreadMain(void* self) {
    return static_cast<LegacySplash*>(self)->Run();
  }

  unsigned Run() {
    // The common controls are loaded for this splash only, so no other run loads them.
    using InitControls = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    if (const auto init = commonControls_.Function<InitControls>("InitCommonControlsEx")) {
      INITCOMMONCONTROLSEX controls{};
      controls.dwSize = sizeof controls;
      controls.dwICC = ICC_PROGRESS_CLASS;
      init(&controls);
    }
    const POINT origin = CentredOrigin(kLegacyWidth, kLegacyHeight);
    const HWND window =
        CreateWindowExA(WS_EX_TOOLWINDOW, PROGRESS_CLASSA, nullptr,
                        WS_POPUP | WS_CLIPCHILDREN | PBS_SMOOTH, origin.x, origin.y, kLegacyWidth,
                        kLegacyHeight, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr) {
      LogPrintf("Unable to create SplashWnd\n");
      return 0;
    }
    window_ = window;
    SendMessageA(window, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    ShowWindow(window, SW_SHOWNOACTIVATE);
    EnsureMessageQueue();
    thread_.SignalReady();
    RunMessageLoop();
    DestroyWindow(window);
    return 0;
  }

  // Loaded before the thread starts and released after it ended.
  os::DynamicLibrary commonControls_{"comctl32.dll"};
  HWND window_ = nullptr;
  SplashThread thread_;
};

}  // namespace

std::unique_ptr<SplashWindow> StartSplashWindow(const ArgbImage& image, int border) {
  if (!IsWindowsXpOrLater()) {
    auto legacy = std::make_unique<LegacySplash>();
    if (!legacy->Start()) return nullptr;
    return legacy;
  }
  // Without GDI+ the frame is still shown, drawn with plain GDI.
  StartImaging();
  auto splash = std::make_unique<ImageSplash>(image, border);
  if (!splash->Start()) return nullptr;
  return splash;
}

}  // namespace ferrolan::splash::detail
