// The operating-system half of the splash, implemented in splash_control_win.cpp (GDI+ and a
// Win32 window) and splash_control_posix.cpp (libpng and an Xlib window). Private to the splash
// library: splash_control.cpp holds the run's splash state and calls these.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "splash/frame_renderer.h"

namespace ferrolan::splash::detail {

/// Windows: the system is XP (5.1) or later, so GDI+ is there. POSIX: always true (Xlib).
bool IsWindowsXpOrLater();

/// Starts the imaging library once per process (GDI+ on Windows, loaded on first use); false
/// when it is not available. StopImaging shuts it down again; both are harmless when repeated.
bool StartImaging();
void StopImaging();

/// Decodes the PNG file at `path` (8-bit, in the system's code page). None, after a log line
/// saying why, when the file is missing, cannot be decoded, is cut short, or declares more
/// than kMaxImagePixels pixels (refused before any pixel memory is taken).
std::optional<ArgbImage> LoadPng(const std::string& path);

/// Where a window stands on the screen, in screen pixels.
struct WindowBounds {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

/// The splash window, on a thread of its own with its own event loop.
class SplashWindow {
 public:
  virtual ~SplashWindow() = default;  // ends the thread (quit, then at most 9000 ms)

  /// From any thread: kNoBar, kIndeterminate or 0 to 100. Grows or shrinks the window by the
  /// bar's height when the bar appears or goes, runs the 30 ms marquee ticks while the value
  /// is kIndeterminate, and otherwise repaints and returns once the frame is painted.
  virtual void SetProgress(int value) = 0;

  /// The window's place on the screen now.
  virtual WindowBounds Bounds() const = 0;
};

/// Starts the splash thread, whose window shows `image` inside `border` pixels of white, centred
/// on the monitor under the mouse pointer, never activated and kept off the taskbar; waits at
/// most 5000 ms for it to be up. None when no window came up, after a log line: no display,
/// a failed window, or "Error starting SplashThread\n" on the time-out.
std::unique_ptr<SplashWindow> StartSplashWindow(const ArgbImage& image, int border);

/// For tests: the screen's pixels in `area`, opaque ARGB; none when they cannot be read.
std::optional<ArgbImage> CaptureScreen(const WindowBounds& area);

/// For tests: writes `image` to a PNG file at `path`; false when it could not be written.
bool SavePng(const ArgbImage& image, const std::string& path);

}  // namespace ferrolan::splash::detail
