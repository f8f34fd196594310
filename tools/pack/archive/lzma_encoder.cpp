#include "pack/archive/lzma_encoder.h"

#include <lzma.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "fs/owned_file.h"

namespace ferrolan::pack {
namespace {

constexpr std::size_t kChunk = 1 << 16;

std::string LzmaErrorText(lzma_ret code) {
  switch (code) {
    case LZMA_MEM_ERROR:
      return "out of memory";
    case LZMA_OPTIONS_ERROR:
      return "unsupported compression options";
    case LZMA_PROG_ERROR:
      return "invalid encoder call";
    default:
      return "compression error " + std::to_string(static_cast<int>(code));
  }
}

}  // namespace

// The liblzma stream, kept out of the header so that users of the encoder need no lzma.h.
struct LzmaEncoder::Stream {
  lzma_stream strm = LZMA_STREAM_INIT;
  std::vector<std::uint8_t> out = std::vector<std::uint8_t>(kChunk);
  ~Stream() { lzma_end(&strm); }
};

std::array<std::uint8_t, kLzmaHeaderSize> LzmaHeader(std::uint64_t uncompressedSize) {
  std::array<std::uint8_t, kLzmaHeaderSize> header{};
  header[0] = kLzmaPropertiesByte;
  for (int i = 0; i < 4; ++i) {
    header[1 + static_cast<std::size_t>(i)] =
        static_cast<std::uint8_t>(kLzmaDictionarySize >> (8 * i));
  }
  for (int i = 0; i < 8; ++i) {
    header[5 + static_cast<std::size_t>(i)] =
        static_cast<std::uint8_t>(uncompressedSize >> (8 * i));
  }
  return header;
}

std::optional<LzmaFormat> ParseLzmaFormat(std::string_view name) {
  if (name == "lzma") return LzmaFormat::kLegacy;
  if (name == "xz") return LzmaFormat::kXzBlocks;
  return std::nullopt;
}

LzmaEncoder::LzmaEncoder(std::uint64_t uncompressedSize, Sink sink, LzmaFormat format)
    : stream_(std::make_unique<Stream>()), sink_(std::move(sink)), expected_(uncompressedSize) {
  // Preset 6 with the 8 MiB dictionary in both forms; lc 3, lp 0, pb 2 are the preset's.
  lzma_options_lzma options;
  if (lzma_lzma_preset(&options, 6) != 0) {
    Fail("LZMA preset unavailable");
    return;
  }
  options.dict_size = kLzmaDictionarySize;
  lzma_ret ret = LZMA_OK;
  if (format == LzmaFormat::kLegacy) {
    // The header is written by hand and the data by the raw LZMA1 encoder without an end
    // marker: the container encoder of liblzma can only write "size unknown" plus an end
    // marker, and a header that states a size while the data also carries a marker is refused
    // by strict decoders.
    options.ext_flags = 0;  // no end-of-payload marker
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    ret = lzma_raw_encoder(&stream_->strm, filters);
  } else {
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_mt mt{};
    mt.threads = std::clamp<std::uint32_t>(lzma_cputhreads(), 1, 16);
    // Every block records its sizes in its header, which is what lets the decoder hand blocks
    // to several threads.
    mt.block_size = kXzBlockSize;
    mt.filters = filters;
    mt.check = LZMA_CHECK_CRC32;
    ret = lzma_stream_encoder_mt(&stream_->strm, &mt);
  }
  if (ret != LZMA_OK) {
    Fail(LzmaErrorText(ret));
    return;
  }
  if (format == LzmaFormat::kLegacy) {
    auto header = LzmaHeader(expected_);
    if (!sink_(header.data(), header.size())) {
      Fail("cannot write the compressed output");
      return;
    }
    compressed_ = header.size();
  }
}

LzmaEncoder::~LzmaEncoder() = default;

bool LzmaEncoder::Fail(std::string message) {
  if (error_.empty()) error_ = std::move(message);
  return false;
}

bool LzmaEncoder::Write(const void* data, std::size_t length) {
  if (!error_.empty()) return false;
  if (finished_) return Fail("write after finish");
  if (length > expected_ - consumed_) {
    return Fail("more input than the " + std::to_string(expected_) + " bytes announced");
  }
  consumed_ += length;
  stream_->strm.next_in = static_cast<const std::uint8_t*>(data);
  stream_->strm.avail_in = length;
  return Pump(false);
}

bool LzmaEncoder::Finish() {
  if (!error_.empty()) return false;
  if (finished_) return true;
  finished_ = true;
  if (consumed_ != expected_) {
    return Fail("input ended after " + std::to_string(consumed_) + " of " +
                std::to_string(expected_) + " announced bytes");
  }
  stream_->strm.next_in = nullptr;
  stream_->strm.avail_in = 0;
  return Pump(true);
}

bool LzmaEncoder::Pump(bool finishing) {
  lzma_stream& strm = stream_->strm;
  for (;;) {
    strm.next_out = stream_->out.data();
    strm.avail_out = stream_->out.size();
    lzma_ret ret = lzma_code(&strm, finishing ? LZMA_FINISH : LZMA_RUN);
    if (ret != LZMA_OK && ret != LZMA_STREAM_END) return Fail(LzmaErrorText(ret));
    std::size_t produced = stream_->out.size() - strm.avail_out;
    if (produced > 0) {
      if (!sink_(stream_->out.data(), produced)) {
        return Fail("cannot write the compressed output");
      }
      compressed_ += produced;
    }
    if (finishing ? ret == LZMA_STREAM_END : (strm.avail_in == 0 && strm.avail_out != 0)) {
      return true;
    }
  }
}

bool CompressFileToLzma(const std::string& inputPath, const std::string& outputPath,
                        const std::function<void(std::uint64_t)>& progress, std::string* error,
                        LzmaFormat format) {
  auto fail = [&](std::string message) {
    if (error != nullptr) *error = std::move(message);
    return false;
  };
  std::error_code sizeError;
  std::uint64_t size = std::filesystem::file_size(inputPath, sizeError);
  if (sizeError) return fail("cannot read the size of " + inputPath);
  fs::OwnedFile input = fs::OpenFile(inputPath, "rb");
  if (!input) return fail("cannot open " + inputPath + ": " + std::strerror(errno));
  fs::OwnedFile output = fs::OpenFile(outputPath, "wb");
  if (!output) return fail("cannot create " + outputPath + ": " + std::strerror(errno));

  bool ok = [&] {
    LzmaEncoder encoder(
        size,
        [&](const std::uint8_t* data, std::size_t length) {
          return std::fwrite(data, 1, length, output.get()) == length;
        },
        format);
    std::vector<char> buffer(kChunk);
    std::uint64_t done = 0;
    for (;;) {
      std::size_t n = std::fread(buffer.data(), 1, buffer.size(), input.get());
      if (n == 0) break;
      if (!encoder.Write(buffer.data(), n)) return fail(encoder.error());
      done += n;
      if (progress) progress(done);
    }
    if (std::ferror(input.get())) return fail("cannot read " + inputPath);
    if (!encoder.Finish()) return fail(encoder.error());
    return true;
  }();
  bool closed = std::fclose(output.release()) == 0;
  if (ok && !closed) ok = fail("cannot write " + outputPath);
  if (!ok) {
    std::error_code ignored;
    std::filesystem::remove(outputPath, ignored);
  }
  return ok;
}

}  // namespace ferrolan::pack
