#include "pack/support/progress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "testing/files.h"
#include "testing/temp_folder.h"

namespace ferrolan::pack {
namespace {

TEST(ProgressTest, RenderFillsInProportion) {
  EXPECT_EQ(ProgressBar::Render("x", 0, 100, 10), "x [..........]   0%");
  EXPECT_EQ(ProgressBar::Render("x", 42, 100, 10), "x [####......]  42%");
  EXPECT_EQ(ProgressBar::Render("x", 100, 100, 10), "x [##########] 100%");
  // Beyond the total, an empty total and totals near the 64-bit limit stay within the bar.
  EXPECT_EQ(ProgressBar::Render("x", 500, 100, 10), "x [##########] 100%");
  EXPECT_EQ(ProgressBar::Render("x", 0, 0, 4), "x [####] 100%");
  EXPECT_EQ(ProgressBar::Render("x", UINT64_MAX / 2, UINT64_MAX, 10), "x [####......]  49%");
}

std::string Draw(bool enabled) {
  testing::TempFolder temp(enabled ? "enabled" : "disabled");
  const std::string path = temp.Path("progress.txt");
  std::FILE* out = std::fopen(path.c_str(), "wb");
  EXPECT_NE(out, nullptr);
  {
    ProgressBar bar("copy", 1000, out, enabled);
    for (int i = 0; i < 1000; ++i) bar.Advance(1);  // 1000 updates, at most 1000 frames
    bar.Set(2000);
  }  // the destructor finishes the line
  std::fclose(out);
  return testing::ReadFile(path);
}

TEST(ProgressTest, DrawsOnlyWhenEnabledAndOnlyOnChange) {
  EXPECT_EQ(Draw(false), "");
  std::string text = Draw(true);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  EXPECT_NE(text.find("copy [########################################] 100%"), std::string::npos);
  // One frame per distinct per-mille value plus the final one, never one per update beyond it.
  std::size_t frames = 0;
  for (char c : text) frames += (c == '\r') ? 1 : 0;
  EXPECT_LE(frames, 1002u);
  EXPECT_GE(frames, 2u);
}

}  // namespace
}  // namespace ferrolan::pack
