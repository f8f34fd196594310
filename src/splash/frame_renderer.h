// The splash frame, composed in memory: the white field, the grey outline, the image, and the
// progress bar below it (filled and empty tiles, or the scrolling marquee). Both window
// backends show exactly these pixels, so the frame is tested without any window system.
//
// Platforms: identical on Windows and POSIX.
#pragma once

#include <cstdint>
#include <vector>

namespace ferrolan::splash {

/// Height of the progress bar below the bordered image.
inline constexpr int kBarHeight = 18;
/// Progress values with a meaning of their own; 0 to 100 are percent done.
inline constexpr int kNoBar = -100;
inline constexpr int kIndeterminate = -1;
/// The marquee offset runs 1, 2, ..., kMarqueePeriod, 0, 1, ...
inline constexpr int kMarqueePeriod = 10;
/// Images beyond this many pixels are refused (a PNG may declare 20000 x 20000).
inline constexpr std::uint64_t kMaxImagePixels = 4096ULL * 4096ULL;

/// A 32-bit image: one 0xAARRGGBB value per pixel, rows from the top, no padding.
struct ArgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // width * height values

  std::uint32_t At(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
};

/// The sizes of a splash with an image of w x h pixels and a border of b pixels.
struct FrameGeometry {
  int width = 0;           // W = w + 2b
  int borderedHeight = 0;  // H = h + 2b: the window's height without the bar
  int frameHeight = 0;     // H + kBarHeight: the back buffer's height
};

FrameGeometry GeometryFor(int imageWidth, int imageHeight, int border);

/// The window's height for `progress`: H while there is no bar (kNoBar or any negative value
/// other than kIndeterminate), H + kBarHeight otherwise.
int WindowHeight(const FrameGeometry& geometry, int progress);

/// The next marquee offset after `offset`: offset + 1, and 0 once that exceeds the period.
int NextMarqueeOffset(int offset);

/// Composes one frame into `frame` (resized to W x (H + kBarHeight), every pixel opaque):
/// the white field, the outline (opaque 200,200,200) when `border` > 0, `image` at
/// (border, border) blended over white by its alpha, and in the strip y = H .. H + 17 the bar
/// of `progress`: for 0 to 100 the filled tiles to x = W * progress / 100 (W at 100) and the
/// empty tiles after it, for kIndeterminate the marquee tile at `marqueeOffset` - 10 and every
/// 10 pixels after, for any other value nothing (the strip stays white).
void RenderFrame(const ArgbImage& image, int border, int progress, int marqueeOffset,
                 ArgbImage& frame);

}  // namespace ferrolan::splash
