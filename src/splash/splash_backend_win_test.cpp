// The Windows backend of the splash on its own: PNG decoding through GDI+, and the window on
// its thread, whose pixels on the screen must be exactly the frame the portable renderer
// composes. The window tests need a display (under Wine, an X server) and skip without one.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>

#include "splash/frame_renderer.h"
#include "splash/splash_control_os.h"
#include "testing/temp_folder.h"

namespace ferrolan::splash::detail {
namespace {

// A 4 x 3 RGBA PNG. Row 0: red, green, blue, white; row 1: black, 0x123456, 0xC86432 and a fully
// transparent 0x0A141E; row 2: yellow at alpha 128, 0x010203, 0xFAFBFC, 0x804020.
constexpr unsigned char kSmallPng[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52,
    0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x03, 0x08, 0x06, 0x00, 0x00, 0x00, 0xB4, 0xF4, 0xAE,
    0xC6, 0x00, 0x00, 0x00, 0x32, 0x49, 0x44, 0x41, 0x54, 0x78, 0xDA, 0x63, 0xF8, 0xCF, 0xC0, 0xF0,
    0x1F, 0x0C, 0x19, 0xFE, 0x83, 0x01, 0x03, 0x10, 0xFC, 0x17, 0x32, 0x09, 0xFB, 0x7F, 0x22, 0xC5,
    0xE8, 0x3F, 0x97, 0x88, 0x1C, 0x48, 0x9C, 0xA1, 0x81, 0x91, 0x89, 0xF9, 0xFF, 0xAF, 0xDF, 0x7F,
    0xFE, 0x37, 0x38, 0x28, 0xFC, 0x07, 0x00, 0x69, 0x5E, 0x18, 0x7C, 0xD8, 0xB4, 0x0E, 0x08, 0x00,
    0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
constexpr std::size_t kIhdrWidthAt = 16;

std::string SmallPng() { return std::string(std::begin(kSmallPng), std::end(kSmallPng)); }

class SplashBackendTest : public testing::LoggedTempFolderTest {
 protected:
  ArgbImage LoadSmallPng() {
    std::optional<ArgbImage> image = LoadPng(Write("small.png", SmallPng()));
    EXPECT_TRUE(image.has_value());
    return image.value_or(ArgbImage{});
  }
};

TEST_F(SplashBackendTest, LoadPngReadsEveryPixelAsArgb) {
  const ArgbImage image = LoadSmallPng();
  ASSERT_EQ(image.width, 4);
  ASSERT_EQ(image.height, 3);
  ASSERT_EQ(image.pixels.size(), 12u);
  EXPECT_EQ(image.At(0, 0), 0xFFFF0000u);
  EXPECT_EQ(image.At(1, 0), 0xFF00FF00u);
  EXPECT_EQ(image.At(2, 0), 0xFF0000FFu);
  EXPECT_EQ(image.At(3, 0), 0xFFFFFFFFu);
  EXPECT_EQ(image.At(0, 1), 0xFF000000u);
  EXPECT_EQ(image.At(1, 1), 0xFF123456u);
  EXPECT_EQ(image.At(2, 1), 0xFFC86432u);
  EXPECT_EQ(image.At(3, 1) >> 24, 0u);  // colour of a fully transparent pixel is not kept
  EXPECT_EQ(image.At(0, 2), 0x80FFFF00u);
  EXPECT_EQ(image.At(1, 2), 0xFF010203u);
  EXPECT_EQ(image.At(2, 2), 0xFFFAFBFCu);
  EXPECT_EQ(image.At(3, 2), 0xFF804020u);
}

TEST_F(SplashBackendTest, LoadPngRefusesWhatItCannotShow) {
  std::string huge = SmallPng();
  for (std::size_t i : {kIhdrWidthAt, kIhdrWidthAt + 4}) {  // 20000 = 0x4E20, width and height
    huge[i + 2] = '\x4E';
    huge[i + 3] = '\x20';
  }
  const struct {
    const char* name;
    std::string bytes;
  } refused[] = {
      {"truncated.png", SmallPng().substr(0, 60)},
      {"huge.png", huge},
      {"text.png", "not an image, though long enough to hold a header"},
  };
  for (const auto& file : refused) {
    SCOPED_TRACE(file.name);
    const std::string path = Write(file.name, file.bytes);
    EXPECT_FALSE(LoadPng(path).has_value());
    EXPECT_TRUE(ConsoleHas(path)) << "no log line names the refused file";
  }
  EXPECT_FALSE(LoadPng(Path("missing.png")).has_value());
}

// The screen's pixels of the window, once they are the frame the renderer composes for
// `progress` (painting reaches the screen shortly after the window's thread drew it), or the
// last capture after two seconds.
ArgbImage CaptureUntilShown(const SplashWindow& window, const ArgbImage& expected) {
  std::optional<ArgbImage> shown;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  do {
    shown = CaptureScreen(window.Bounds());
    if (shown && shown->pixels == expected.pixels) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < deadline);
  return shown.value_or(ArgbImage{});
}

ArgbImage Rendered(const ArgbImage& image, int border, int progress, int marqueeOffset = 0) {
  ArgbImage frame;
  RenderFrame(image, border, progress, marqueeOffset, frame);
  return frame;
}

// The expected frame cut to the window's height (the bar's strip is below it while hidden).
ArgbImage Cropped(ArgbImage frame, int height) {
  frame.pixels.resize(static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(height));
  frame.height = height;
  return frame;
}

class SplashBackendWindowTest : public SplashBackendTest {
 protected:
  void SetUp() override {
    image_ = LoadSmallPng();
    window_ = StartSplashWindow(image_, kBorder);
    if (!window_ || !CaptureScreen(window_->Bounds())) GTEST_SKIP() << "no usable display";
    geometry_ = GeometryFor(image_.width, image_.height, kBorder);
  }

  static constexpr int kBorder = 3;
  ArgbImage image_;
  std::unique_ptr<SplashWindow> window_;
  FrameGeometry geometry_;
};

TEST_F(SplashBackendWindowTest, ShowsTheRenderedFrameAndResizesForTheBar) {
  EXPECT_EQ(window_->Bounds().width, geometry_.width);
  EXPECT_EQ(window_->Bounds().height, geometry_.borderedHeight);
  const ArgbImage noBar = Cropped(Rendered(image_, kBorder, kNoBar), geometry_.borderedHeight);
  EXPECT_EQ(CaptureUntilShown(*window_, noBar).pixels, noBar.pixels);

  for (int progress : {50, 0, 100}) {
    SCOPED_TRACE(progress);
    window_->SetProgress(progress);
    EXPECT_EQ(window_->Bounds().height, geometry_.frameHeight);
    const ArgbImage expected = Rendered(image_, kBorder, progress);
    EXPECT_EQ(CaptureUntilShown(*window_, expected).pixels, expected.pixels);
  }

  window_->SetProgress(kNoBar);
  EXPECT_EQ(window_->Bounds().height, geometry_.borderedHeight);
  window_->SetProgress(kNoBar);
  EXPECT_EQ(window_->Bounds().height, geometry_.borderedHeight);
  EXPECT_EQ(CaptureUntilShown(*window_, noBar).pixels, noBar.pixels);
}

// The marquee's timer must tick on the window's thread although the value came from this one;
// the frames shown are the renderer's for successive offsets, and a final value stops them.
TEST_F(SplashBackendWindowTest, MarqueeScrollsUntilAValueStopsIt) {
  window_->SetProgress(kIndeterminate);
  EXPECT_EQ(window_->Bounds().height, geometry_.frameHeight);
  std::set<int> offsetsSeen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (offsetsSeen.size() < 3 && std::chrono::steady_clock::now() < deadline) {
    const std::optional<ArgbImage> shown = CaptureScreen(window_->Bounds());
    ASSERT_TRUE(shown.has_value());
    for (int offset = 0; offset <= kMarqueePeriod; ++offset) {
      if (shown->pixels == Rendered(image_, kBorder, kIndeterminate, offset).pixels)
        offsetsSeen.insert(offset);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_GE(offsetsSeen.size(), 3u) << "the stripes did not move";

  window_->SetProgress(100);
  const ArgbImage full = Rendered(image_, kBorder, 100);
  EXPECT_EQ(CaptureUntilShown(*window_, full).pixels, full.pixels);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a tick would repaint by now
  EXPECT_EQ(CaptureScreen(window_->Bounds()).value_or(ArgbImage{}).pixels, full.pixels);
}

}  // namespace
}  // namespace ferrolan::splash::detail

#endif  // _WIN32
