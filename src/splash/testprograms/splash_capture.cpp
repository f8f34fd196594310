// Watches the screen for a launcher's splash and keeps what it shows, for the end-to-end tests:
//
//   ferrolan_splash_capture IMAGE BORDER WIDTHxHEIGHT STATE OUT TIMEOUT_MS
//
// IMAGE and BORDER are the splash's image (a PNG) and border; WIDTHxHEIGHT is the screen's size.
// STATE is what must be seen: "indeterminate" (the bar shows the marquee at one of its offsets),
// "determinate" (the bar shows a percentage from 10 to 90, plainly part of the way) or "any" (the
// bordered image, with or without a bar). The window is found by its pixels (no window manager
// places it), and every pixel of the bordered image and of the bar must be the frame the renderer
// composes. Once seen, the window's pixels go to OUT as a PNG file and one line says what was seen.
// Exit code 0: seen; 1: not seen within TIMEOUT_MS; 2: wrong arguments or an unreadable image.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "splash/frame_renderer.h"
#include "splash/splash_control_os.h"

namespace {

using ferrolan::splash::ArgbImage;
using ferrolan::splash::FrameGeometry;
namespace detail = ferrolan::splash::detail;

struct Seen {
  int x = 0;
  int y = 0;
  std::string bar;  // "none", "marquee offset K" or "percent P"
  bool determinate = false;
  bool indeterminate = false;
};

// The rows [from, to) of `frame` at (x, y) of `screen`, pixel for pixel.
bool RowsMatch(const ArgbImage& screen, int x, int y, const ArgbImage& frame, int from, int to) {
  if (x + frame.width > screen.width || y + to > screen.height) return false;
  for (int row = from; row < to; ++row) {
    for (int column = 0; column < frame.width; ++column) {
      if (screen.At(x + column, y + row) != frame.At(column, row)) return false;
    }
  }
  return true;
}

ArgbImage Frame(const ArgbImage& image, int border, int progress, int offset) {
  ArgbImage frame;
  ferrolan::splash::RenderFrame(image, border, progress, offset, frame);
  return frame;
}

// Where the bordered image is on the screen, and what its bar shows.
std::optional<Seen> Locate(const ArgbImage& screen, const ArgbImage& image, int border) {
  const FrameGeometry geometry = ferrolan::splash::GeometryFor(image.width, image.height, border);
  const ArgbImage top = Frame(image, border, ferrolan::splash::kNoBar, 0);
  for (int y = 0; y + geometry.borderedHeight <= screen.height; ++y) {
    for (int x = 0; x + geometry.width <= screen.width; ++x) {
      if (screen.At(x, y) != top.At(0, 0)) continue;
      if (!RowsMatch(screen, x, y, top, 0, geometry.borderedHeight)) continue;
      Seen seen{x, y, "none"};
      const int from = geometry.borderedHeight;
      const int to = geometry.frameHeight;
      for (int offset = 0; offset <= ferrolan::splash::kMarqueePeriod; ++offset) {
        if (RowsMatch(screen, x, y, Frame(image, border, ferrolan::splash::kIndeterminate, offset),
                      from, to)) {
          seen.bar = "marquee offset " + std::to_string(offset);
          seen.indeterminate = true;
        }
      }
      for (int percent = 0; percent <= 100 && !seen.indeterminate; ++percent) {
        if (RowsMatch(screen, x, y, Frame(image, border, percent, 0), from, to)) {
          seen.bar = "percent " + std::to_string(percent);
          seen.determinate = percent >= 10 && percent <= 90;
          break;
        }
      }
      return seen;
    }
  }
  return std::nullopt;
}

// The part of `screen` at (x, y) of `width` x `height`, cut to the screen.
ArgbImage Crop(const ArgbImage& screen, int x, int y, int width, int height) {
  ArgbImage part;
  part.width = std::min(width, screen.width - x);
  part.height = std::min(height, screen.height - y);
  for (int row = 0; row < part.height; ++row) {
    for (int column = 0; column < part.width; ++column)
      part.pixels.push_back(screen.At(x + column, y + row));
  }
  return part;
}

}  // namespace

int main(int argc, char** argv) {
  int screenWidth = 0, screenHeight = 0;
  if (argc != 7 || std::sscanf(argv[3], "%dx%d", &screenWidth, &screenHeight) != 2) {
    std::fprintf(stderr, "usage: %s IMAGE BORDER WIDTHxHEIGHT STATE OUT TIMEOUT_MS\n", argv[0]);
    return 2;
  }
  const std::optional<ArgbImage> image = detail::LoadPng(argv[1]);
  const int border = std::atoi(argv[2]);
  const std::string wanted = argv[4];
  const std::string out = argv[5];
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(std::atoi(argv[6]));
  if (!image || (wanted != "indeterminate" && wanted != "determinate" && wanted != "any")) {
    std::fprintf(stderr, "cannot read %s, or no such state: %s\n", argv[1], argv[4]);
    return 2;
  }
  const FrameGeometry geometry = ferrolan::splash::GeometryFor(image->width, image->height, border);
  std::string lastSeen = "nothing";
  do {
    const std::optional<ArgbImage> screen =
        detail::CaptureScreen(detail::WindowBounds{0, 0, screenWidth, screenHeight});
    if (const std::optional<Seen> seen = screen ? Locate(*screen, *image, border) : std::nullopt) {
      lastSeen = "a splash whose bar shows " + seen->bar;
      if (wanted == "any" || (wanted == "indeterminate" && seen->indeterminate) ||
          (wanted == "determinate" && seen->determinate)) {
        const int height = seen->bar == "none" ? geometry.borderedHeight : geometry.frameHeight;
        if (!detail::SavePng(Crop(*screen, seen->x, seen->y, geometry.width, height), out)) {
          std::fprintf(stderr, "cannot save the capture to %s\n", out.c_str());
          return 2;
        }
        std::printf("captured %s at %d,%d: its bar shows %s\n", wanted.c_str(), seen->x, seen->y,
                    seen->bar.c_str());
        return 0;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < deadline);
  std::printf("no %s splash seen; last seen: %s\n", wanted.c_str(), lastSeen.c_str());
  return 1;
}
