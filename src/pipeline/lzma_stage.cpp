// The LZMA stage: liblzma's decoders between two RingBuffers.
#include <lzma.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "log/log.h"
#include "pipeline/decoder_memory.h"
#include "pipeline/stages.h"

namespace ferrolan::pipeline {
namespace {

const char* InitErrorText(lzma_ret code) {
  switch (code) {
    case LZMA_MEM_ERROR:
      return "Memory allocation failed";
    case LZMA_OPTIONS_ERROR:
      return "Unsupported decompressor flags";
    default:
      return "Unknown error, possibly a bug";
  }
}

// Owns the decoder state so every exit frees it.
class Decoder {
 public:
  Decoder() { stream_.allocator = DecoderAllocator(); }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;
  ~Decoder() { lzma_end(&stream_); }
  lzma_stream* get() { return &stream_; }

 private:
  lzma_stream stream_ = LZMA_STREAM_INIT;
};

// The xz container's magic bytes. Streams in it may consist of independent blocks, which the
// threaded decoder works on in parallel; the legacy container is one stream of LZMA data.
constexpr std::uint8_t kXzMagic[] = {0xFD, '7', 'z', 'X', 'Z', 0x00};

// At most this many decoder threads, and no more memory for running them in parallel than
// this; beyond it liblzma uses fewer threads (never refusing to decode).
constexpr std::uint32_t kMaxDecoderThreads = 8;
constexpr std::uint64_t kMaxThreadingMemory = 512ull << 20;
// The most a decoder may ever take. An archive's header names its dictionary size, and a forged
// header could otherwise make the decoder allocate gigabytes before a single byte is checked;
// every archive a packager makes needs far less (64 MiB at the strongest preset).
constexpr std::uint64_t kMaxDecoderMemory = 512ull << 20;

lzma_ret StartDecoder(lzma_stream* strm, const std::uint8_t* start, std::size_t available) {
  const bool xz =
      available >= sizeof kXzMagic && std::memcmp(start, kXzMagic, sizeof kXzMagic) == 0;
  if (!xz) {
    // No flags: both the legacy container and xz are accepted, and decoding ends with the
    // first stream.
    return lzma_auto_decoder(strm, kMaxDecoderMemory, 0);
  }
  lzma_mt options{};
  options.flags = 0;  // the first stream only, as with the auto decoder
  options.threads = std::clamp<std::uint32_t>(lzma_cputhreads(), 1, kMaxDecoderThreads);
  options.timeout = 0;  // block until the input is consumed or the output area is full
  const std::uint64_t physical = lzma_physmem();
  options.memlimit_threading =
      physical == 0 ? kMaxThreadingMemory / 4 : std::min(physical / 4, kMaxThreadingMemory);
  options.memlimit_stop = kMaxDecoderMemory;
  return lzma_stream_decoder_mt(strm, &options);
}

// Reads until `in` holds enough bytes to tell the container apart, or the input has ended.
// Returns the number of bytes held.
std::size_t ReadStart(RingBuffer& input, std::vector<std::uint8_t>& in) {
  std::size_t held = 0;
  while (held < sizeof kXzMagic) {
    int got = RingBuffer_read(input, in.data() + held, static_cast<int>(in.size() - held));
    if (got <= 0) break;
    held += static_cast<std::size_t>(got);
  }
  return held;
}

// Decodes; returns the stage result. The caller closes the buffers and logs.
int Decode(RingBuffer& input, RingBuffer& output) {
  Decoder decoder;
  lzma_stream* strm = decoder.get();
  std::vector<std::uint8_t> in(kStageChunk);
  std::vector<std::uint8_t> out(kStageChunk);
  std::size_t held = ReadStart(input, in);
  lzma_ret ret = StartDecoder(strm, in.data(), held);
  if (ret != LZMA_OK) {
    std::fprintf(stderr, "Error initializing the decoder: %s (error code %u)\n", InitErrorText(ret),
                 static_cast<unsigned>(ret));
    return 1;
  }
  // Passes on what the decoder produces; false when the consumer closed its input.
  auto deliver = [&]() {
    std::size_t produced = out.size() - strm->avail_out;
    return produced == 0 || RingBuffer_write(output, out.data(), static_cast<int>(produced)) >= 0;
  };
  for (;;) {
    if (held == 0) {
      // The input ended before the stream did. The threaded decoder may still hold finished
      // output; pass on everything decoded so far, then stop with the input's end.
      do {
        strm->next_out = out.data();
        strm->avail_out = out.size();
        ret = lzma_code(strm, LZMA_FINISH);
        if (!deliver()) return 0;
      } while (ret == LZMA_OK && strm->avail_out == 0);
      return 0;
    }
    strm->next_in = in.data();
    strm->avail_in = held;
    bool filled = false;
    do {
      strm->next_out = out.data();
      strm->avail_out = out.size();
      ret = lzma_code(strm, LZMA_RUN);
      if (ret != LZMA_OK && ret != LZMA_STREAM_END) {
        std::fprintf(stderr, "lzma_code failed: %d", static_cast<int>(ret));
        return 1;
      }
      filled = strm->avail_out == 0;
      if (!deliver()) return 0;              // the consumer closed its input: nobody wants the rest
      if (ret == LZMA_STREAM_END) return 0;  // bytes after the stream are ignored
    } while (strm->avail_in > 0 || filled);
    int got = RingBuffer_read(input, in.data(), kStageChunk);
    held = got > 0 ? static_cast<std::size_t>(got) : 0;
  }
}

}  // namespace

int RunUnLZMAer(RingBuffer& input, RingBuffer& output) {
  log::LogPrintf("[Streamer] [UnLZMAer] Starting...\n");
  int result = Decode(input, output);
  RingBuffer_close(output);
  // A producer may still be writing (trailing bytes, or a stream the decoder gave up on);
  // closing the input releases it instead of leaving it blocked on a buffer nobody reads.
  RingBuffer_close(input);
  log::LogPrintf("[Streamer] [UnLZMAer] Done (%d).\n", result);
  return result;
}

}  // namespace ferrolan::pipeline
