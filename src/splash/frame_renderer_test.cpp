#include "splash/frame_renderer.h"

#include <array>
#include <cstdint>

#include <gtest/gtest.h>

namespace ferrolan::splash {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFFFFu;
constexpr std::uint32_t kGrey = 0xFFC8C8C8u;

// Row 1 of the three tiles, written out here independently of the renderer's tables.
constexpr std::array<std::uint32_t, 4> kFilledRow1 = {0xFF83A0EB, 0xFF83A0EB, 0xFF83A0EC,
                                                      0xFF5179E4};
constexpr std::array<std::uint32_t, 4> kEmptyRow1 = {0xFF929292, 0xFF929292, 0xFF929292,
                                                     0xFF767676};
constexpr std::array<std::uint32_t, 10> kMarqueeRow1 = {
    0xFF7696EA, 0xFF587FE5, 0xFF5079E4, 0xFF537BE4, 0xFF537BE4,
    0xFF5B81E5, 0xFF7D9CEB, 0xFF84A1EC, 0xFF829FEB, 0xFF7F9DEB};

ArgbImage Solid(int width, int height, std::uint32_t argb) {
  ArgbImage image;
  image.width = width;
  image.height = height;
  image.pixels.assign(static_cast<std::size_t>(width * height), argb);
  return image;
}

ArgbImage Render(const ArgbImage& image, int border, int progress, int offset = 0) {
  ArgbImage frame;
  RenderFrame(image, border, progress, offset, frame);
  return frame;
}

TEST(FrameRendererTest, GeometryAndWindowHeightFollowTheBar) {
  const FrameGeometry g = GeometryFor(40, 30, 10);
  EXPECT_EQ(g.width, 60);
  EXPECT_EQ(g.borderedHeight, 50);
  EXPECT_EQ(g.frameHeight, 68);
  EXPECT_EQ(WindowHeight(g, kNoBar), 50);
  EXPECT_EQ(WindowHeight(g, -2), 50);
  EXPECT_EQ(WindowHeight(g, kIndeterminate), 68);
  EXPECT_EQ(WindowHeight(g, 0), 68);
  EXPECT_EQ(WindowHeight(g, 100), 68);
  const FrameGeometry empty = GeometryFor(0, 0, 0);
  EXPECT_EQ(empty.width, 0);
  EXPECT_EQ(empty.frameHeight, kBarHeight);
}

TEST(FrameRendererTest, MarqueeOffsetRunsOneToTenThenZero) {
  int offset = 0;
  for (int expected : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 1}) {
    offset = NextMarqueeOffset(offset);
    EXPECT_EQ(offset, expected);
  }
}

TEST(FrameRendererTest, BorderOfTenIsWhiteInsideAGreyOutline) {
  const ArgbImage frame = Render(Solid(4, 3, 0xFF102030), 10, kNoBar);
  ASSERT_EQ(frame.width, 24);
  ASSERT_EQ(frame.height, 23 + kBarHeight);
  for (int x = 0; x < 24; ++x) {
    EXPECT_EQ(frame.At(x, 0), kGrey) << x;
    EXPECT_EQ(frame.At(x, 22), kGrey) << x;
  }
  for (int y = 0; y < 23; ++y) {
    EXPECT_EQ(frame.At(0, y), kGrey) << y;
    EXPECT_EQ(frame.At(23, y), kGrey) << y;
  }
  EXPECT_EQ(frame.At(1, 1), kWhite);
  EXPECT_EQ(frame.At(9, 10), kWhite);
  EXPECT_EQ(frame.At(10, 10), 0xFF102030u);
  EXPECT_EQ(frame.At(13, 12), 0xFF102030u);
  EXPECT_EQ(frame.At(14, 12), kWhite);
  EXPECT_EQ(frame.At(13, 13), kWhite);
  // Without a bar the strip below stays white, and nothing is transparent.
  for (int y = 23; y < frame.height; ++y) EXPECT_EQ(frame.At(5, y), kWhite) << y;
}

TEST(FrameRendererTest, BorderOfZeroLetsTheImageFillTheFrame) {
  const ArgbImage frame = Render(Solid(5, 4, 0xFF00FF00), 0, kNoBar);
  ASSERT_EQ(frame.width, 5);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) EXPECT_EQ(frame.At(x, y), 0xFF00FF00u) << x << "," << y;
  }
}

TEST(FrameRendererTest, ImageIsBlendedOverWhiteByItsAlpha) {
  ArgbImage image = Solid(4, 1, 0);
  image.pixels = {0x00000000, 0x80000000, 0x80FF0000, 0x40204060};
  const ArgbImage frame = Render(image, 1, kNoBar);
  EXPECT_EQ(frame.At(1, 1), kWhite);       // fully transparent
  EXPECT_EQ(frame.At(2, 1), 0xFF7F7F7Fu);  // (0*128 + 255*127 + 127) / 255 = 127
  EXPECT_EQ(frame.At(3, 1), 0xFFFF7F7Fu);
  // 0x40 = 64: (32*64 + 255*191 + 127)/255 = 199, (64*64 + ...)/255 = 207, (96*64 + ...)/255 = 215
  EXPECT_EQ(frame.At(4, 1), 0xFFC7CFD7u);
}

// For each percentage the bar's columns before W * p / 100 show the filled tile and the rest
// the empty one; in both, tiles step by three so that column 3 of a tile never shows.
TEST(FrameRendererTest, ProgressBarSplitsAtTheTruncatedFillEnd) {
  const ArgbImage image = Solid(41, 30, 0xFF000000);  // W = 61, H = 50
  for (int percent : {0, 1, 33, 50, 99, 100}) {
    const ArgbImage frame = Render(image, 10, percent);
    const int end = percent == 100 ? 61 : 61 * percent / 100;
    for (int x = 0; x < 61; ++x) {
      const std::uint32_t pixel = frame.At(x, 51);
      if (x < end) {
        EXPECT_EQ(pixel, kFilledRow1[static_cast<std::size_t>(x % 3)]) << percent << "% x=" << x;
      } else {
        EXPECT_EQ(pixel, kEmptyRow1[static_cast<std::size_t>((x - end) % 3)])
            << percent << "% x=" << x;
      }
    }
  }
  // The tiles' top and bottom rows, read at the fill end of 50% (e = 30).
  const ArgbImage half = Render(image, 10, 50);
  EXPECT_EQ(half.At(29, 50), 0xFFBDCDF5u);
  EXPECT_EQ(half.At(30, 50), 0xFFDADADAu);
  EXPECT_EQ(half.At(29, 67), 0xFF103DB4u);
  EXPECT_EQ(half.At(30, 67), 0xFF737373u);
  // The border and the image stay as they were.
  EXPECT_EQ(half.At(0, 49), kGrey);
  EXPECT_EQ(half.At(10, 10), 0xFF000000u);
}

TEST(FrameRendererTest, MarqueeStartsTenLeftOfTheOffsetAndIsClippedAtBothEnds) {
  const ArgbImage image = Solid(41, 30, 0xFF000000);  // W = 61
  for (int offset : {0, 3, 10}) {
    const ArgbImage frame = Render(image, 10, kIndeterminate, offset);
    for (int x = 0; x < 61; ++x) {
      const int column = (x - offset + 10) % 10;
      EXPECT_EQ(frame.At(x, 51), kMarqueeRow1[static_cast<std::size_t>(column)])
          << "offset " << offset << " x=" << x;
    }
  }
  // At offset 3 the tile drawn at -7 shows its columns 7 to 9; the one at 53 ends at W.
  const ArgbImage frame = Render(image, 10, kIndeterminate, 3);
  EXPECT_EQ(frame.At(0, 51), kMarqueeRow1[7]);
  EXPECT_EQ(frame.At(2, 51), kMarqueeRow1[9]);
  EXPECT_EQ(frame.At(3, 51), kMarqueeRow1[0]);
  EXPECT_EQ(frame.At(60, 51), kMarqueeRow1[7]);
  EXPECT_EQ(frame.At(0, 67), 0xFF3867E0u);  // bottom row, column 7
}

TEST(FrameRendererTest, OtherNegativeProgressDrawsNoBar) {
  const ArgbImage frame = Render(Solid(10, 10, 0xFF000000), 2, -7);
  for (int y = 14; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x) EXPECT_EQ(frame.At(x, y), kWhite);
  }
}

}  // namespace
}  // namespace ferrolan::splash
