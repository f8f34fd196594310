#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "splash/splash_control_os.h"
#include "splash/testdata/small_png.h"
#include "testing/temp_folder.h"

namespace ferrolan::splash {
namespace {

using PngLoadTest = testing::LoggedTempFolderTest;

TEST_F(PngLoadTest, DecodesToArgbRowsFromTheTop) {
  const std::optional<ArgbImage> image = detail::LoadPng(Write("logo.png", testdata::kSmallPng));
  ASSERT_TRUE(image);
  ASSERT_EQ(image->width, 8);
  ASSERT_EQ(image->height, 6);
  EXPECT_EQ(image->At(0, 0), 0xFF0000C8u);
  EXPECT_EQ(image->At(1, 0), 0xFF1E00C8u);
  EXPECT_EQ(image->At(7, 5), 0xFFD2C8C8u);
}

// Alpha stays with each pixel, not multiplied into its colour: the frame blends it over white.
TEST_F(PngLoadTest, KeepsEachPixelsAlphaApartFromItsColour) {
  const std::optional<ArgbImage> image = detail::LoadPng(Write("alpha.png", testdata::kAlphaPng));
  ASSERT_TRUE(image);
  ASSERT_EQ(image->width, 4);
  ASSERT_EQ(image->height, 3);
  const std::uint32_t expected[3][4] = {{0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu},
                                        {0xFF000000u, 0xFF123456u, 0xFFC86432u, 0u},
                                        {0x80FFFF00u, 0xFF010203u, 0xFFFAFBFCu, 0xFF804020u}};
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      SCOPED_TRACE("pixel " + std::to_string(x) + "," + std::to_string(y));
      // A fully transparent pixel keeps no colour worth comparing.
      if (expected[y][x] == 0u) {
        EXPECT_EQ(image->At(x, y) >> 24, 0u);
      } else {
        EXPECT_EQ(image->At(x, y), expected[y][x]);
      }
    }
  }
}

TEST_F(PngLoadTest, RefusesMissingForeignCutAndOversizedFiles) {
  EXPECT_FALSE(detail::LoadPng(Path("missing.png")));
  EXPECT_FALSE(detail::LoadPng(Write("text.png", "not an image at all, just some words")));
  EXPECT_FALSE(detail::LoadPng(Write("cut.png", testdata::kSmallPng.substr(0, 60))));
  std::string corrupt = testdata::kSmallPng;
  corrupt[60] = static_cast<char>(corrupt[60] ^ 0x55);  // inside the compressed pixels
  EXPECT_FALSE(detail::LoadPng(Write("corrupt.png", corrupt)));

  // 5000 x 5000 declared: refused from the header alone, before anything is decoded.
  std::string huge = testdata::kSmallPng;
  huge.replace(16, 8, std::string("\x00\x00\x13\x88\x00\x00\x13\x88", 8));
  EXPECT_FALSE(detail::LoadPng(Write("huge.png", huge)));
  EXPECT_TRUE(ConsoleHas("5000 x 5000"));
}

}  // namespace
}  // namespace ferrolan::splash
