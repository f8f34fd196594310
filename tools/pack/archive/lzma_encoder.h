// The compression of archives, in one of two containers:
// - the legacy LZMA container (".lzma": a 13-byte header with the properties byte, the
//   dictionary size and the uncompressed size, then raw LZMA data). The header always records
//   the exact uncompressed size and the data carries no end marker, the form every LZMA decoder
//   understands. This is the form for archives that other programs may read.
// - the xz container in independent blocks of kXzBlockSize bytes (LZMA2, the same 8 MiB
//   dictionary, CRC32 per block), compressed on all cores. The launcher decodes such blocks in
//   parallel, which makes installing a large archive several times faster on a multi-core
//   machine; the archives the packager embeds in a launcher take this form.
// The size must be known before the first byte is compressed; the encoder checks that exactly
// that many bytes arrive.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ferrolan::pack {

/// lc = 3, lp = 0, pb = 2, encoded as (pb * 5 + lp) * 9 + lc.
inline constexpr std::uint8_t kLzmaPropertiesByte = 0x5D;
inline constexpr std::uint32_t kLzmaDictionarySize = 8u << 20;
inline constexpr std::size_t kLzmaHeaderSize = 13;
inline constexpr std::uint64_t kXzBlockSize = 8u << 20;

enum class LzmaFormat {
  kLegacy,    // ".lzma", one stream
  kXzBlocks,  // ".xz" in independent blocks
};

/// Parses "lzma" or "xz" (the names the command line and the configuration use).
std::optional<LzmaFormat> ParseLzmaFormat(std::string_view name);

/// The 13 header bytes for a stream of `uncompressedSize` bytes (little-endian fields).
std::array<std::uint8_t, kLzmaHeaderSize> LzmaHeader(std::uint64_t uncompressedSize);

/// Streaming encoder. Every compressed byte (header included) goes to the sink, which returns
/// false to stop with an error. Typical use: construct, Write() the data in pieces, Finish().
class LzmaEncoder {
 public:
  using Sink = std::function<bool(const std::uint8_t* data, std::size_t length)>;

  LzmaEncoder(std::uint64_t uncompressedSize, Sink sink, LzmaFormat format = LzmaFormat::kLegacy);
  ~LzmaEncoder();
  LzmaEncoder(const LzmaEncoder&) = delete;
  LzmaEncoder& operator=(const LzmaEncoder&) = delete;

  /// Compresses `length` more bytes. False after any error (see error()), including more input
  /// than the size announced in the header.
  bool Write(const void* data, std::size_t length);
  /// Flushes the rest. False if fewer bytes arrived than announced, or on any earlier error.
  bool Finish();

  const std::string& error() const { return error_; }
  std::uint64_t compressedBytes() const { return compressed_; }

 private:
  bool Fail(std::string message);
  bool Pump(bool finishing);

  struct Stream;
  std::unique_ptr<Stream> stream_;
  Sink sink_;
  std::uint64_t expected_;
  std::uint64_t consumed_ = 0;
  std::uint64_t compressed_ = 0;
  std::string error_;
  bool finished_ = false;
};

/// Compresses the file `inputPath` into `outputPath` (replaced). `progress`, when given, is
/// called with the number of input bytes consumed so far. On failure returns false, fills
/// `error` and removes the partial output.
bool CompressFileToLzma(const std::string& inputPath, const std::string& outputPath,
                        const std::function<void(std::uint64_t)>& progress, std::string* error,
                        LzmaFormat format = LzmaFormat::kLegacy);

}  // namespace ferrolan::pack
