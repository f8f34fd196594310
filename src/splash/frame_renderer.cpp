#include "splash/frame_renderer.h"

#include <algorithm>
#include <cstddef>

namespace ferrolan::splash {
namespace {

constexpr std::uint32_t kOpaque = 0xFF000000u;
constexpr std::uint32_t kWhite = 0xFFFFFFFFu;
constexpr std::uint32_t kOutline = 0xFFC8C8C8u;

// The bar's tiles as RGB, row 0 at the top. Neighbouring filled and empty tiles overlap by one
// column, so only columns 0 to 2 of those show except at the very end of a run.
constexpr std::uint32_t kFilledTile[kBarHeight][4] = {
    {0xBECDF5, 0xBECDF5, 0xBDCDF5, 0xBCCBF5}, {0x83A0EB, 0x83A0EB, 0x83A0EC, 0x5179E4},
    {0x7F9DEA, 0x7F9DEA, 0x7F9DEA, 0x4F77E1}, {0x7A99E9, 0x7A99E9, 0x7899E8, 0x4B73DD},
    {0x7293E9, 0x7293E9, 0x7294E8, 0x456EDA}, {0x6C8FE8, 0x6C8FE8, 0x6B8EE7, 0x4069D7},
    {0x668AE6, 0x668AE6, 0x668AE7, 0x3965D3}, {0x6185E5, 0x6185E5, 0x6086E6, 0x3561D1},
    {0x5B83E4, 0x5B83E4, 0x5C81E5, 0x315DCE}, {0x5A7FE5, 0x5A7FE5, 0x5A7FE6, 0x2F5ACB},
    {0x557CE5, 0x557CE5, 0x547CE3, 0x2B59CA}, {0x5077E3, 0x5077E3, 0x5077E3, 0x2954C6},
    {0x4A74E3, 0x4A74E3, 0x4974E1, 0x2450C3}, {0x426FE1, 0x426FE1, 0x426FE1, 0x1E4BC1},
    {0x3D6AE1, 0x3D6AE1, 0x3D6BE0, 0x1A47BC}, {0x3965E0, 0x3965E0, 0x3865DF, 0x1443B9},
    {0x3362DF, 0x3362DF, 0x3561DF, 0x1140B7}, {0x0C3BB4, 0x0C3BB4, 0x103DB4, 0x0D3BB4},
};
constexpr std::uint32_t kEmptyTile[kBarHeight][4] = {
    {0xDADADA, 0xDADADA, 0xDADADA, 0xD9D9D9}, {0x929292, 0x929292, 0x929292, 0x767676},
    {0x949494, 0x949494, 0x949494, 0x777777}, {0x959595, 0x959595, 0x959595, 0x7A7A7A},
    {0x9C9C9C, 0x9C9C9C, 0x9C9C9C, 0x7D7D7D}, {0x9F9F9F, 0x9F9F9F, 0x9F9F9F, 0x808080},
    {0xA2A2A2, 0xA2A2A2, 0xA2A2A2, 0x848484}, {0xA0A0A0, 0xA0A0A0, 0xA0A0A0, 0x898989},
    {0xA4A4A4, 0xA4A4A4, 0xA4A4A4, 0x8C8C8C}, {0xA6A6A6, 0xA6A6A6, 0xA6A6A6, 0x909090},
    {0xA8A8A8, 0xA8A8A8, 0xA8A8A8, 0x939393}, {0xABABAB, 0xABABAB, 0xABABAB, 0x979797},
    {0xAFAFAF, 0xAFAFAF, 0xAFAFAF, 0x9A9A9A}, {0xB1B1B1, 0xB1B1B1, 0xB1B1B1, 0x9E9E9E},
    {0xB1B1B1, 0xB1B1B1, 0xB1B1B1, 0xA1A1A1}, {0xB2B2B2, 0xB2B2B2, 0xB2B2B2, 0xA4A4A4},
    {0xB1B1B1, 0xB1B1B1, 0xB1B1B1, 0xA5A5A5}, {0x737373, 0x737373, 0x737373, 0x747474},
};
constexpr std::uint32_t kMarqueeTile[kBarHeight][10] = {
    {0xBECDF5, 0xAABEF2, 0x96AEEF, 0x97AFEF, 0x95AEEE, 0x95AEEE, 0xA9BDF2, 0xBECDF5, 0xBDCDF5,
     0xBCCBF5},
    {0x7696EA, 0x587FE5, 0x5079E4, 0x537BE4, 0x537BE4, 0x5B81E5, 0x7D9CEB, 0x84A1EC, 0x829FEB,
     0x7F9DEB},
    {0x678AE7, 0x567EE5, 0x5B81E5, 0x577EE5, 0x5980E5, 0x7494E9, 0x809EEB, 0x809EEB, 0x829FEC,
     0x84A1EC},
    {0x557DE5, 0x567EE5, 0x557DE4, 0x557DE5, 0x5F84E6, 0x7E9CEB, 0x829FEB, 0x809EEB, 0x84A1EC,
     0x7394E9},
    {0x557DE4, 0x537BE4, 0x537BE4, 0x557DE5, 0x7595E9, 0x809EEB, 0x7D9BEB, 0x829FEB, 0x7F9DEB,
     0x6387E7},
    {0x4E77E3, 0x517AE4, 0x4E77E3, 0x6388E7, 0x7A99EA, 0x7A99EA, 0x7B9AEA, 0x7F9DEB, 0x6A8DE8,
     0x537BE4},
    {0x5079E4, 0x4C76E3, 0x5179E4, 0x7193E9, 0x7B9AEA, 0x7696EA, 0x7998EA, 0x7595E9, 0x5980E5,
     0x4D77E3},
    {0x4C76E3, 0x4A74E3, 0x6186E6, 0x7595E9, 0x7394E9, 0x7998EA, 0x7A99EA, 0x6287E7, 0x4873E2,
     0x4A74E3},
    {0x426EE1, 0x4E77E3, 0x6D8FE8, 0x7494E9, 0x6D8FE8, 0x7595E9, 0x6B8EE8, 0x4C76E3, 0x4A74E3,
     0x4873E2},
    {0x436FE2, 0x5F84E6, 0x7091E9, 0x7192E9, 0x6F91E9, 0x6C8EE8, 0x577EE5, 0x406DE1, 0x4571E2,
     0x4671E2},
    {0x4E77E3, 0x678AE7, 0x6A8DE8, 0x698CE8, 0x688BE7, 0x6186E6, 0x426EE1, 0x436FE2, 0x436FE2,
     0x436FE2},
    {0x5C82E6, 0x6388E7, 0x668AE7, 0x6488E7, 0x6186E6, 0x4A74E3, 0x3C69E0, 0x3E6BE1, 0x3E6BE1,
     0x3D6AE1},
    {0x6387E7, 0x6387E7, 0x6387E7, 0x6287E7, 0x557DE4, 0x3E6BE1, 0x3B69E0, 0x3C6AE1, 0x3665E0,
     0x4470E2},
    {0x5F84E6, 0x6287E7, 0x5F84E6, 0x5A81E5, 0x3E6BE1, 0x3967E0, 0x3A68E0, 0x3564DF, 0x3967E0,
     0x577EE5},
    {0x577EE5, 0x5C82E6, 0x5F84E6, 0x4470E2, 0x3363DF, 0x3262DF, 0x3564E0, 0x3262DF, 0x4772E2,
     0x5D83E6},
    {0x537BE4, 0x5980E5, 0x4E77E3, 0x3564E0, 0x3060DF, 0x3262DF, 0x3161DF, 0x3262DF, 0x4F78E4,
     0x587FE5},
    {0x6085E6, 0x5F84E6, 0x4671E2, 0x3665E0, 0x3B69E0, 0x3C69E0, 0x3867E0, 0x527AE4, 0x668AE7,
     0x5F84E6},
    {0x3C69E0, 0x3C69E0, 0x2F60DF, 0x2457DD, 0x295BDE, 0x2D5EDE, 0x285ADD, 0x3867E0, 0x3C69E0,
     0x3967E0},
};

constexpr int kStepTileWidth = 4;
constexpr int kMarqueeTileWidth = 10;

void Put(ArgbImage& frame, int x, int y, std::uint32_t argb) {
  frame.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.width) +
               static_cast<std::size_t>(x)] = argb;
}

// Draws `columns` columns of a tile with its left edge at `left` in the bar strip starting at
// row `top`, leaving out whatever falls left of 0 or at or beyond the frame's width.
template <std::size_t Columns>
void DrawTile(ArgbImage& frame, const std::uint32_t (&tile)[kBarHeight][Columns], int left,
              int top) {
  const int from = std::max(left, 0);
  const int to = std::min(left + static_cast<int>(Columns), frame.width);
  for (int y = 0; y < kBarHeight; ++y) {
    for (int x = from; x < to; ++x)
      Put(frame, x, top + y, kOpaque | tile[y][static_cast<std::size_t>(x - left)]);
  }
}

// One 8-bit channel of `over` laid over white with `alpha`, rounded to the nearest value.
std::uint32_t OverWhite(std::uint32_t channel, std::uint32_t alpha) {
  return (channel * alpha + 255u * (255u - alpha) + 127u) / 255u;
}

std::uint32_t BlendOverWhite(std::uint32_t argb) {
  const std::uint32_t alpha = argb >> 24;
  if (alpha == 0xFF) return argb;
  const std::uint32_t r = OverWhite((argb >> 16) & 0xFF, alpha);
  const std::uint32_t g = OverWhite((argb >> 8) & 0xFF, alpha);
  const std::uint32_t b = OverWhite(argb & 0xFF, alpha);
  return kOpaque | (r << 16) | (g << 8) | b;
}

void DrawProgressBar(ArgbImage& frame, int top, int progress) {
  const int width = frame.width;
  const int end = progress >= 100 ? width : width * progress / 100;
  for (int x = 0; x < end; x += kStepTileWidth - 1) DrawTile(frame, kFilledTile, x, top);
  // The empty tiles come last: they cover what the last filled tile drew at or beyond the end.
  for (int x = end; x < width; x += kStepTileWidth - 1) DrawTile(frame, kEmptyTile, x, top);
}

void DrawMarquee(ArgbImage& frame, int top, int offset) {
  for (int x = offset - kMarqueeTileWidth; x < frame.width; x += kMarqueeTileWidth)
    DrawTile(frame, kMarqueeTile, x, top);
}

}  // namespace

FrameGeometry GeometryFor(int imageWidth, int imageHeight, int border) {
  FrameGeometry geometry;
  geometry.width = imageWidth + 2 * border;
  geometry.borderedHeight = imageHeight + 2 * border;
  geometry.frameHeight = geometry.borderedHeight + kBarHeight;
  return geometry;
}

int WindowHeight(const FrameGeometry& geometry, int progress) {
  const bool barShown = progress >= 0 || progress == kIndeterminate;
  return barShown ? geometry.frameHeight : geometry.borderedHeight;
}

int NextMarqueeOffset(int offset) {
  const int next = offset + 1;
  return next > kMarqueePeriod ? 0 : next;
}

void RenderFrame(const ArgbImage& image, int border, int progress, int marqueeOffset,
                 ArgbImage& frame) {
  const FrameGeometry geometry = GeometryFor(image.width, image.height, border);
  frame.width = geometry.width;
  frame.height = geometry.frameHeight;
  frame.pixels.assign(
      static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height), kWhite);

  const int width = geometry.width;
  const int height = geometry.borderedHeight;
  if (border > 0) {
    for (int x = 0; x < width; ++x) {
      Put(frame, x, 0, kOutline);
      Put(frame, x, height - 1, kOutline);
    }
    for (int y = 0; y < height; ++y) {
      Put(frame, 0, y, kOutline);
      Put(frame, width - 1, y, kOutline);
    }
  }

  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x)
      Put(frame, border + x, border + y, BlendOverWhite(image.At(x, y)));
  }

  if (progress >= 0) {
    DrawProgressBar(frame, height, std::min(progress, 100));
  } else if (progress == kIndeterminate) {
    DrawMarquee(frame, height, marqueeOffset);
  }
}

}  // namespace ferrolan::splash
