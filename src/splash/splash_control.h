// The splash operations the main flow calls, in this order: SplashSetBorder and SplashConfigure,
// SplashShow, SplashSetProgress any number of times (from any thread), SplashCleanup. The
// window is a GDI+ painted Win32 window on Windows and an Xlib window on POSIX; both show the
// frames of frame_renderer.h. Without a display (POSIX) the run goes on without a splash.
//
// Process-wide state: the run's one splash (its image, border, progress and window), kept
// behind a lock. The first SplashShow registers an exit handler that takes down a window left
// open, so the process never ends with the splash thread still running.
#pragma once

#include <string>

namespace ferrolan::splash {

/// The operating-system gate for GDI+: Windows XP (5.1) or later, as os::WindowsVersion reads
/// it. Always true on POSIX, where the splash uses Xlib.
bool IsWindowsXpOrLater();

/// Starts the imaging library the splash paints with, once per process.
void StartImaging();

/// The white border around the image, in pixels (negative values count as 0). Read when the
/// window is shown.
void SplashSetBorder(int pixels);

/// Loads the splash image from a PNG file. An image configured once stays. A missing or
/// undecodable file gives an empty image: the window then shows only the border (and none at
/// all when the border is 0).
void SplashConfigure(const std::string& imageFile);

/// Shows the splash window and waits (at most 5000 ms) until it is up; a second call while it
/// is shown does nothing.
void SplashShow();

/// -100 hides the bar, -1 shows the scrolling stripes, 0 to 100 the percentage done. Before
/// SplashShow the value is only recorded, and the window starts with it.
void SplashSetProgress(int percent);

/// Takes the splash down and releases what it used. Harmless when nothing is shown.
void SplashCleanup();

}  // namespace ferrolan::splash
