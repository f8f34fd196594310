// The LZMA stage: liblzma's auto decoder between two RingBuffers.
#include <lzma.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "log/log.h"
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
  Decoder() = default;
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;
  ~Decoder() { lzma_end(&stream_); }
  lzma_stream* get() { return &stream_; }

 private:
  lzma_stream stream_ = LZMA_STREAM_INIT;
};

// Decodes; returns the stage result. The caller closes the buffers and logs.
int Decode(RingBuffer& input, RingBuffer& output) {
  Decoder decoder;
  lzma_stream* strm = decoder.get();
  // No memory limit and no flags: both the legacy container and xz are accepted, and decoding
  // ends with the first stream.
  lzma_ret ret = lzma_auto_decoder(strm, UINT64_MAX, 0);
  if (ret != LZMA_OK) {
    std::fprintf(stderr, "Error initializing the decoder: %s (error code %u)\n", InitErrorText(ret),
                 static_cast<unsigned>(ret));
    return 1;
  }
  std::vector<std::uint8_t> in(kStageChunk);
  std::vector<std::uint8_t> out(kStageChunk);
  for (;;) {
    int got = RingBuffer_read(input, in.data(), kStageChunk);
    if (got <= 0) return 0;  // input ended before the stream did: pass on what was decoded
    strm->next_in = in.data();
    strm->avail_in = static_cast<std::size_t>(got);
    bool filled = false;
    do {
      strm->next_out = out.data();
      strm->avail_out = out.size();
      ret = lzma_code(strm, LZMA_RUN);
      if (ret != LZMA_OK && ret != LZMA_STREAM_END) {
        std::fprintf(stderr, "lzma_code failed: %d", static_cast<int>(ret));
        return 1;
      }
      std::size_t produced = out.size() - strm->avail_out;
      filled = strm->avail_out == 0;
      if (produced > 0 && RingBuffer_write(output, out.data(), static_cast<int>(produced)) < 0) {
        return 0;  // the consumer closed its input: nobody wants the rest
      }
      if (ret == LZMA_STREAM_END) return 0;  // bytes after the stream are ignored
    } while (strm->avail_in > 0 || filled);
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
