// The splash image loader: LoadPng on any file, as the splash loads the image a build or a
// Params section supplies. A decoded image must have the size it claims and stay within the
// pixel limit.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz/fuzz_support.h"
#include "splash/splash_control_os.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ferrolan::fuzz::QuietLog();
  static const ferrolan::fuzz::Scratch scratch("png");
  const std::string path = scratch.WriteFile("image.png", data, size);
  const std::optional<ferrolan::splash::ArgbImage> image = ferrolan::splash::detail::LoadPng(path);
  if (image) {
    const auto pixels =
        static_cast<std::uint64_t>(image->width) * static_cast<std::uint64_t>(image->height);
    if (image->width <= 0 || image->height <= 0 || pixels > ferrolan::splash::kMaxImagePixels ||
        image->pixels.size() != pixels)
      __builtin_trap();
  }
  scratch.Reset();
  return 0;
}
