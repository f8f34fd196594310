#include "splash/png_header.h"

#include <array>
#include <cstdio>

#include "fs/owned_file.h"
#include "log/log.h"
#include "splash/frame_renderer.h"

namespace ferrolan::splash {
namespace {

constexpr std::array<unsigned char, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kHeaderBytes = 24;  // signature, IHDR length and type, width, height

std::uint32_t BigEndian(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

}  // namespace

std::optional<PngSize> DeclaredPngSize(const std::string& header) {
  if (header.size() < kHeaderBytes) return std::nullopt;
  for (std::size_t i = 0; i < kSignature.size(); ++i) {
    if (static_cast<unsigned char>(header[i]) != kSignature[i]) return std::nullopt;
  }
  if (BigEndian(header, 8) != 13 || header.compare(12, 4, "IHDR") != 0) return std::nullopt;
  return PngSize{BigEndian(header, 16), BigEndian(header, 20)};
}

std::optional<PngSize> DeclaredPngSizeOfFile(const std::string& path) {
  fs::OwnedFile file = fs::OpenFile(path, "rb");
  if (!file) return std::nullopt;
  std::string header(kHeaderBytes, '\0');
  const std::size_t got = std::fread(header.data(), 1, header.size(), file.get());
  header.resize(got);
  return DeclaredPngSize(header);
}

std::optional<PngSize> ShowablePngSize(const std::string& path) {
  const std::optional<PngSize> declared = DeclaredPngSizeOfFile(path);
  if (!declared) {
    log::LogPrintf("[Splash] %s is missing or is not a PNG image\n", path.c_str());
    return std::nullopt;
  }
  const std::uint64_t pixels =
      static_cast<std::uint64_t>(declared->width) * static_cast<std::uint64_t>(declared->height);
  if (pixels == 0 || pixels > kMaxImagePixels) {
    log::LogPrintf("[Splash] %s declares %u x %u pixels; refused (at most %llu pixels)\n",
                   path.c_str(), declared->width, declared->height,
                   static_cast<unsigned long long>(kMaxImagePixels));
    return std::nullopt;
  }
  return declared;
}

}  // namespace ferrolan::splash
