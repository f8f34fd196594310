// GDI+ as the Windows splash uses it: gdiplus.dll is loaded when the splash first needs it, not
// linked, so the launcher also starts on systems that lack it (the legacy splash never touches
// it). Private to the splash's Windows files; StartImaging and StopImaging of
// splash_control_os.h start and stop it.
#pragma once

#include "os/windows.h"
// <gdiplus.h> needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>
// Included for its types and declarations only: every function is reached through GdiPlusApi,
// so no import library is linked.
#include <gdiplus.h>

#include <memory>

namespace ferrolan::splash::detail {

/// The flat GDI+ functions the splash calls, resolved from the loaded gdiplus.dll.
struct GdiPlusApi {
  decltype(&Gdiplus::DllExports::GdipCreateBitmapFromFile) createBitmapFromFile = nullptr;
  decltype(&Gdiplus::DllExports::GdipCreateBitmapFromScan0) createBitmapFromScan0 = nullptr;
  decltype(&Gdiplus::DllExports::GdipGetImageWidth) getImageWidth = nullptr;
  decltype(&Gdiplus::DllExports::GdipGetImageHeight) getImageHeight = nullptr;
  decltype(&Gdiplus::DllExports::GdipBitmapLockBits) bitmapLockBits = nullptr;
  decltype(&Gdiplus::DllExports::GdipBitmapUnlockBits) bitmapUnlockBits = nullptr;
  decltype(&Gdiplus::DllExports::GdipDisposeImage) disposeImage = nullptr;
  decltype(&Gdiplus::DllExports::GdipCreateFromHDC) createFromHdc = nullptr;
  decltype(&Gdiplus::DllExports::GdipSetCompositingMode) setCompositingMode = nullptr;
  decltype(&Gdiplus::DllExports::GdipDrawImageRectI) drawImageRectI = nullptr;
  decltype(&Gdiplus::DllExports::GdipDeleteGraphics) deleteGraphics = nullptr;
  // Only the tests save images; a GDI+ without it still shows the splash.
  decltype(&Gdiplus::DllExports::GdipSaveImageToFile) saveImageToFile = nullptr;
};

/// The functions of the started GDI+, or nullptr while it is not started. The table stays valid
/// until StopImaging, which the caller makes only once no splash window paints any more.
const GdiPlusApi* GdiPlus();

/// Owners of GDI+ objects, released through `api` (which must outlive them).
struct GdiPlusImageDeleter {
  const GdiPlusApi* api = nullptr;
  void operator()(Gdiplus::GpBitmap* bitmap) const { api->disposeImage(bitmap); }
};
using ScopedGdiPlusBitmap = std::unique_ptr<Gdiplus::GpBitmap, GdiPlusImageDeleter>;

struct GdiPlusGraphicsDeleter {
  const GdiPlusApi* api = nullptr;
  void operator()(Gdiplus::GpGraphics* graphics) const { api->deleteGraphics(graphics); }
};
using ScopedGdiPlusGraphics = std::unique_ptr<Gdiplus::GpGraphics, GdiPlusGraphicsDeleter>;

}  // namespace ferrolan::splash::detail
