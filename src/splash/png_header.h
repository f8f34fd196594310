// The size a PNG file declares in its header, read before anything decodes it, so that an
// image too large to show is refused without taking its pixel memory.
//
// Platforms: identical on Windows and POSIX.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ferrolan::splash {

struct PngSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

/// The width and height of the IHDR chunk at the start of `header` (the file's first bytes, at
/// least 24 of them); none when they are not a PNG signature followed by an IHDR chunk.
std::optional<PngSize> DeclaredPngSize(const std::string& header);

/// The same for the file at `path`; none when it cannot be read or is not a PNG.
std::optional<PngSize> DeclaredPngSizeOfFile(const std::string& path);

/// The declared size of the PNG file at `path` when the splash may decode it. None, after a log
/// line saying why, when the file is missing or not a PNG, or declares no pixels or more than
/// kMaxImagePixels: a decoder would take a declared image's pixel memory before anything could
/// refuse it, so this check comes first.
std::optional<PngSize> ShowablePngSize(const std::string& path);

}  // namespace ferrolan::splash
