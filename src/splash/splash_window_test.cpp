// The splash window on the screen: what a capture of its place shows must be exactly the frame
// the renderer composes. Runs wherever a window can be opened and is skipped elsewhere.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "splash/frame_renderer.h"
#include "splash/splash_control.h"
#include "splash/splash_control_os.h"
#include "splash/testdata/small_png.h"
#include "testing/temp_folder.h"

namespace ferrolan::splash {
namespace {

// 40 x 30: a colour gradient, opaque on the left half and partly transparent on the right.
ArgbImage TestImage() {
  ArgbImage image;
  image.width = 40;
  image.height = 30;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      const std::uint32_t alpha = x < 20 ? 255u : static_cast<std::uint32_t>(60 + 6 * y);
      image.pixels.push_back(alpha << 24 | static_cast<std::uint32_t>(6 * x) << 16 |
                             static_cast<std::uint32_t>(8 * y) << 8 |
                             static_cast<std::uint32_t>(255 - 6 * x));
    }
  }
  return image;
}

// Keeps a capture for a person to look at, in the build's folder of splash artefacts.
void SaveCapture(const ArgbImage& capture, const std::string& name) {
  const std::string path = std::string(FERROLAN_SPLASH_ARTIFACTS) + "/" + name + ".png";
  EXPECT_TRUE(detail::SavePng(capture, path)) << path;
}

// The rows [from, to) of `actual` against the same rows of `expected`: empty when equal, else
// how many pixels differ and where the first one is.
std::string Differences(const ArgbImage& actual, const ArgbImage& expected, int from, int to) {
  if (actual.width != expected.width) return "widths differ";
  int count = 0;
  std::ostringstream first;
  for (int y = from; y < to; ++y) {
    for (int x = 0; x < actual.width; ++x) {
      if (actual.At(x, y) == expected.At(x, y)) continue;
      if (count++ == 0)
        first << std::hex << "first at " << std::dec << x << "," << y << ": 0x" << std::hex
              << actual.At(x, y) << " instead of 0x" << expected.At(x, y);
    }
  }
  if (count == 0) return "";
  return std::to_string(count) + " pixels differ, " + first.str();
}

// The screen's pixels in `bounds`, once `wanted` holds for them: a frame reaches the screen a
// moment after the window's thread painted it, and on a busy display another test's window may
// cover it for a while. The last capture after five seconds otherwise.
template <typename Wanted>
std::optional<ArgbImage> CaptureOnce(const detail::WindowBounds& bounds, Wanted wanted) {
  std::optional<ArgbImage> capture;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  do {
    capture = detail::CaptureScreen(bounds);
    if (capture && wanted(*capture)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < deadline);
  return capture;
}

TEST(SplashWindowTest, ShowsTheRenderedFramePixelForPixel) {
  const ArgbImage image = TestImage();
  const std::unique_ptr<detail::SplashWindow> window = detail::StartSplashWindow(image, 10);
  if (!window) GTEST_SKIP() << "no window can be opened here (no display)";
  const FrameGeometry geometry = GeometryFor(40, 30, 10);

  for (int progress : {kNoBar, 50, 100, 0}) {
    SCOPED_TRACE(progress);
    window->SetProgress(progress);
    const detail::WindowBounds bounds = window->Bounds();
    ASSERT_EQ(bounds.width, geometry.width);
    ASSERT_EQ(bounds.height, WindowHeight(geometry, progress));
    ArgbImage expected;
    RenderFrame(image, 10, progress, 0, expected);
    const std::optional<ArgbImage> capture = CaptureOnce(bounds, [&](const ArgbImage& shown) {
      return Differences(shown, expected, 0, bounds.height).empty();
    });
    ASSERT_TRUE(capture);
    SaveCapture(*capture, "progress_" + std::to_string(progress));
    EXPECT_EQ(Differences(*capture, expected, 0, bounds.height), "");
  }

  // The marquee moves on its own, so its offset is unknown: everything above the bar must be
  // exact, and the bar must be the marquee at one of its offsets.
  window->SetProgress(kIndeterminate);
  const detail::WindowBounds bounds = window->Bounds();
  ASSERT_EQ(bounds.height, geometry.frameHeight);
  ArgbImage expected;
  RenderFrame(image, 10, kIndeterminate, 0, expected);
  // The offset a capture shows, or -1 when it is no frame of the marquee.
  const auto marqueeOffset = [&](const ArgbImage& shown) {
    if (!Differences(shown, expected, 0, geometry.borderedHeight).empty()) return -1;
    for (int offset = 0; offset <= kMarqueePeriod; ++offset) {
      ArgbImage frame;
      RenderFrame(image, 10, kIndeterminate, offset, frame);
      if (Differences(shown, frame, geometry.borderedHeight, geometry.frameHeight).empty())
        return offset;
    }
    return -1;
  };
  const std::optional<ArgbImage> capture =
      CaptureOnce(bounds, [&](const ArgbImage& shown) { return marqueeOffset(shown) >= 0; });
  ASSERT_TRUE(capture);
  SaveCapture(*capture, "marquee");
  EXPECT_EQ(Differences(*capture, expected, 0, geometry.borderedHeight), "");
  EXPECT_GE(marqueeOffset(*capture), 0) << "the bar is no frame of the marquee";
  // The ticks come on the window's thread although the value came from this one: the stripes
  // move on their own.
  std::set<int> offsetsSeen;
  CaptureOnce(bounds, [&](const ArgbImage& shown) {
    offsetsSeen.insert(marqueeOffset(shown));
    offsetsSeen.erase(-1);
    return offsetsSeen.size() >= 3;
  });
  EXPECT_GE(offsetsSeen.size(), 3u) << "the stripes did not move";

  // A value stops the marquee: its frame is shown and stays, no tick paints over it.
  window->SetProgress(100);
  RenderFrame(image, 10, 100, 0, expected);
  const auto isFull = [&](const ArgbImage& shown) {
    return Differences(shown, expected, 0, geometry.frameHeight).empty();
  };
  const std::optional<ArgbImage> full = CaptureOnce(bounds, isFull);
  ASSERT_TRUE(full);
  EXPECT_TRUE(isFull(*full));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // three ticks would have come
  const std::optional<ArgbImage> later = detail::CaptureScreen(bounds);
  ASSERT_TRUE(later);
  EXPECT_EQ(Differences(*later, expected, 0, geometry.frameHeight), "") << "the marquee goes on";

  // Taking the bar away shrinks the window again.
  window->SetProgress(kNoBar);
  EXPECT_EQ(window->Bounds().height, geometry.borderedHeight);
}

using SplashControlTest = testing::LoggedTempFolderTest;

// The control layer's state lives for the whole process, so its whole life is one test.
TEST_F(SplashControlTest, ShowsOneWindowCleansUpTwiceAndNeverHoldsUpTheExit) {
  const ArgbImage probeImage = TestImage();
  if (!detail::StartSplashWindow(probeImage, 0)) GTEST_SKIP() << "no window can be opened here";

  // Shown before any image was configured: no thread is started, and the log says so.
  SplashShow();
  EXPECT_EQ(CountStartingWith("Error starting SplashThread"), 1);
  EXPECT_EQ(CountStartingWith("[Splash] Showing a "), 0);

  SplashSetBorder(10);
  SplashSetProgress(30);  // recorded only: the window starts with it
  SplashConfigure(Write("logo.png", testdata::kSmallPng));
  SplashShow();
  SplashShow();
  EXPECT_EQ(CountStartingWith("[Splash] Showing a "), 1);
  EXPECT_EQ(CountStartingWith("[Splash] Showing a 28 x 44 splash at "), 1);  // with its bar

  SplashSetProgress(kIndeterminate);
  SplashSetProgress(100);
  SplashCleanup();
  SplashCleanup();
  SplashSetProgress(50);  // no window any more: only recorded
  EXPECT_EQ(CountStartingWith("[HttpDownloader] Cleaning up..."), 2);

  // A process that ends with the splash up takes it down on its way out.
  EXPECT_EXIT(
      {
        SplashShow();
        SplashSetProgress(kIndeterminate);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace ferrolan::splash
