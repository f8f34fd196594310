// Checks on the built launcher executable itself.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> ReadImage() {
  std::ifstream in(FERROLAN_EXE_PATH, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t Le(const std::vector<unsigned char>& b, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b.at(at + static_cast<std::size_t>(i));
  return v;
}

TEST(LauncherImageTest, WindowedAndElevatedOnWindowsElfOnPosix) {
  std::vector<unsigned char> image = ReadImage();
  ASSERT_GT(image.size(), 4096u) << FERROLAN_EXE_PATH;
  if (image[0] == 'M' && image[1] == 'Z') {
    std::uint32_t pe = Le(image, 0x3C, 4);
    ASSERT_EQ(Le(image, pe, 4), 0x00004550u);   // "PE\0\0"
    EXPECT_EQ(Le(image, pe + 24, 2), 0x20Bu);   // PE32+
    EXPECT_EQ(Le(image, pe + 24 + 68, 2), 2u);  // IMAGE_SUBSYSTEM_WINDOWS_GUI
    std::string text(image.begin(), image.end());
    EXPECT_NE(text.find("requireAdministrator"), std::string::npos);
  } else {
    ASSERT_EQ(std::memcmp(image.data(),
                          "\x7F"
                          "ELF",
                          4),
              0);
  }
}

}  // namespace
