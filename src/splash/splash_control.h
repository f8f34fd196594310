// The splash operations the main flow calls. The splash window itself (GDI+ on Windows, Xlib on
// POSIX) is not part of this build yet: these calls keep their places in the main flow and do
// nothing visible, so the flow's order is already the final one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ferrolan::splash {

/// The operating-system gate for GDI+: Windows XP (5.1) or later, as os::WindowsVersion reads
/// it. Always true on POSIX, where the splash uses Xlib.
bool IsWindowsXpOrLater();

/// Starts the imaging library the splash paints with, once per process.
void StartImaging();

/// Chooses the splash image: a file, or the bytes of a dynamic image.
void SplashConfigure(const std::string& imageFile);
void SplashConfigureImage(const std::vector<std::uint8_t>& image);

/// Shows the splash window; sets the progress (0 to 100, or -1 for the indeterminate state).
void SplashShow();
void SplashSetProgress(int percent);

/// Takes the splash down and releases what it used. Harmless when nothing is shown.
void SplashCleanup();

}  // namespace ferrolan::splash
