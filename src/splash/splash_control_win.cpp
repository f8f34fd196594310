#include <cstdlib>
#include <cstring>
#include <vector>

#include "log/log.h"
#include "splash/gdiplus_win.h"
#include "splash/png_header.h"
#include "splash/splash_control_os.h"

namespace ferrolan::splash::detail {
namespace {

using log::LogPrintf;

// The path in UTF-16 as GDI+ wants it, converted by the C runtime from the 8-bit path; none
// when the path is not valid in the current multibyte encoding.
std::optional<std::wstring> WidePath(const std::string& path) {
  // Each multibyte character yields at most one wide character.
  std::wstring wide(path.size() + 1, L'\0');
  const std::size_t length = std::mbstowcs(wide.data(), path.c_str(), wide.size());
  if (length == static_cast<std::size_t>(-1)) return std::nullopt;
  wide.resize(length);
  return wide;
}

// Copies the pixels of a decoded bitmap out as 32-bit ARGB; none when GDI+ cannot lock them.
std::optional<ArgbImage> ReadPixels(const GdiPlusApi& gdiPlus, Gdiplus::GpBitmap* bitmap,
                                    UINT width, UINT height) {
  const Gdiplus::Rect whole(0, 0, static_cast<INT>(width), static_cast<INT>(height));
  Gdiplus::BitmapData data{};
  if (gdiPlus.bitmapLockBits(bitmap, &whole, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB,
                             &data) != Gdiplus::Ok)
    return std::nullopt;
  ArgbImage image;
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.pixels.resize(static_cast<std::size_t>(width) * height);
  const auto* scan0 = static_cast<const unsigned char*>(data.Scan0);
  for (UINT y = 0; y < height; ++y) {
    // The stride may be negative for bottom-up bitmaps; 32-bit ARGB rows are whole pixels in
    // the machine's byte order, which is what ArgbImage holds.
    const unsigned char* row = scan0 + static_cast<std::ptrdiff_t>(y) * data.Stride;
    std::memcpy(&image.pixels[static_cast<std::size_t>(y) * width], row,
                static_cast<std::size_t>(width) * 4);
  }
  gdiPlus.bitmapUnlockBits(bitmap, &data);
  return image;
}

// Owners for the device contexts and the bitmap of a screen capture.
struct ScreenDcReleaser {
  void operator()(HDC dc) const { ReleaseDC(nullptr, dc); }
};
struct MemoryDcDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
struct GdiObjectDeleter {
  void operator()(HBITMAP object) const { DeleteObject(object); }
};
using ScreenDc = std::unique_ptr<std::remove_pointer_t<HDC>, ScreenDcReleaser>;
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcDeleter>;
using ScopedBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

}  // namespace

bool IsWindowsXpOrLater() {
  std::optional<os::WindowsVersionNumber> version = os::WindowsVersion();
  if (!version) return false;
  return version->major > 5 || (version->major == 5 && version->minor >= 1);
}

std::optional<ArgbImage> LoadPng(const std::string& path) {
  const std::optional<PngSize> declared = ShowablePngSize(path);
  if (!declared) return std::nullopt;
  if (!StartImaging()) {
    LogPrintf("[Splash] GDI+ is not available to decode %s\n", path.c_str());
    return std::nullopt;
  }
  const GdiPlusApi& gdiPlus = *GdiPlus();
  const std::optional<std::wstring> widePath = WidePath(path);
  if (!widePath) {
    LogPrintf("[Splash] %s cannot be converted to UTF-16\n", path.c_str());
    return std::nullopt;
  }
  Gdiplus::GpBitmap* loaded = nullptr;
  const Gdiplus::Status status = gdiPlus.createBitmapFromFile(widePath->c_str(), &loaded);
  if (status != Gdiplus::Ok || loaded == nullptr) {
    LogPrintf("[Splash] %s cannot be decoded (GDI+ status %d)\n", path.c_str(),
              static_cast<int>(status));
    return std::nullopt;
  }
  const ScopedGdiPlusBitmap bitmap(loaded, GdiPlusImageDeleter{&gdiPlus});
  UINT width = 0;
  UINT height = 0;
  gdiPlus.getImageWidth(bitmap.get(), &width);
  gdiPlus.getImageHeight(bitmap.get(), &height);
  // The decoder's size must be the one the header promised, or the check above meant nothing.
  if (width != declared->width || height != declared->height) {
    LogPrintf("[Splash] %s decodes to %ux%u pixels instead of the declared %ux%u\n", path.c_str(),
              width, height, declared->width, declared->height);
    return std::nullopt;
  }
  std::optional<ArgbImage> image = ReadPixels(gdiPlus, bitmap.get(), width, height);
  if (!image) LogPrintf("[Splash] The pixels of %s cannot be read\n", path.c_str());
  return image;
}

std::optional<ArgbImage> CaptureScreen(const WindowBounds& area) {
  if (area.width <= 0 || area.height <= 0) return std::nullopt;
  const ScreenDc screen(GetDC(nullptr));
  if (!screen) return std::nullopt;
  const MemoryDc memory(CreateCompatibleDC(screen.get()));
  if (!memory) return std::nullopt;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = area.width;
  info.bmiHeader.biHeight = -area.height;  // top-down rows, as ArgbImage keeps them
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const ScopedBitmap dib(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dib || bits == nullptr) return std::nullopt;
  const HGDIOBJ previous = SelectObject(memory.get(), dib.get());
  const BOOL copied =
      BitBlt(memory.get(), 0, 0, area.width, area.height, screen.get(), area.x, area.y, SRCCOPY);
  GdiFlush();
  SelectObject(memory.get(), previous);
  if (!copied) return std::nullopt;
  ArgbImage image;
  image.width = area.width;
  image.height = area.height;
  image.pixels.resize(static_cast<std::size_t>(area.width) * area.height);
  std::memcpy(image.pixels.data(), bits, image.pixels.size() * 4);
  // The screen has no alpha; a DIB leaves the fourth byte as it was.
  for (std::uint32_t& pixel : image.pixels) pixel |= 0xFF000000u;
  return image;
}

bool SavePng(const ArgbImage& image, const std::string& path) {
  if (image.width <= 0 || image.height <= 0 || !StartImaging()) return false;
  const GdiPlusApi& gdiPlus = *GdiPlus();
  const std::optional<std::wstring> widePath = WidePath(path);
  if (gdiPlus.saveImageToFile == nullptr || !widePath) return false;
  // GDI+ reads the pixels in place: 32-bit ARGB in the machine's byte order, as ArgbImage holds.
  std::vector<std::uint32_t> pixels = image.pixels;
  Gdiplus::GpBitmap* made = nullptr;
  if (gdiPlus.createBitmapFromScan0(image.width, image.height, image.width * 4,
                                    PixelFormat32bppARGB, reinterpret_cast<BYTE*>(pixels.data()),
                                    &made) != Gdiplus::Ok ||
      made == nullptr)
    return false;
  const ScopedGdiPlusBitmap bitmap(made, GdiPlusImageDeleter{&gdiPlus});
  // The PNG encoder that every GDI+ carries.
  const CLSID pngEncoder = {
      0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
  return gdiPlus.saveImageToFile(bitmap.get(), widePath->c_str(), &pngEncoder, nullptr) ==
         Gdiplus::Ok;
}

}  // namespace ferrolan::splash::detail
