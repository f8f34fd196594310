#include "pipeline/stages.h"

#include <gtest/gtest.h>
#include <lzma.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "pipeline/decoder_memory.h"
#include "testing/temp_folder.h"

namespace ferrolan::pipeline {
namespace {

namespace stdfs = std::filesystem;

// Data that compresses somewhat but still spans many decoder chunks: text runs mixed with noise.
std::string SampleData(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s;
  s.reserve(size);
  while (s.size() < size) {
    if (rng() % 3 == 0) {
      for (int i = 0; i < 200 && s.size() < size; ++i) s.push_back(static_cast<char>(rng()));
    } else {
      s.append("the quick brown fox jumps over the lazy dog ");
    }
  }
  s.resize(size);
  return s;
}

// kXzBlocks: independent blocks with their sizes in the block headers, the form the threaded
// decoder works on in parallel.
enum class Container { kLegacy, kXz, kXzBlocks };
constexpr Container kContainers[] = {Container::kLegacy, Container::kXz, Container::kXzBlocks};

std::string Compress(const std::string& data, Container container,
                     std::uint64_t blockSize = 64 * 1024) {
  lzma_stream strm = LZMA_STREAM_INIT;
  lzma_ret ret;
  if (container == Container::kLegacy) {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    ret = lzma_alone_encoder(&strm, &options);
  } else if (container == Container::kXz) {
    ret = lzma_easy_encoder(&strm, 6, LZMA_CHECK_CRC64);
  } else {
    lzma_mt mt{};
    mt.threads = 2;
    mt.block_size = blockSize;
    mt.preset = 1;
    mt.check = LZMA_CHECK_CRC32;
    ret = lzma_stream_encoder_mt(&strm, &mt);
  }
  EXPECT_EQ(ret, LZMA_OK);
  std::string out(data.size() + data.size() / 2 + 65536, '\0');
  strm.next_in = reinterpret_cast<const std::uint8_t*>(data.data());
  strm.avail_in = data.size();
  strm.next_out = reinterpret_cast<std::uint8_t*>(out.data());
  strm.avail_out = out.size();
  ret = lzma_code(&strm, LZMA_FINISH);
  EXPECT_EQ(ret, LZMA_STREAM_END);
  out.resize(out.size() - strm.avail_out);
  lzma_end(&strm);
  return out;
}

// Feeds `bytes` into `buffer` in chunks of varying size on its own thread, then closes it. A
// refused write (the consumer closed the buffer) ends the feeding early.
std::thread Feed(std::shared_ptr<RingBuffer> buffer, std::string bytes) {
  return std::thread([buffer, bytes = std::move(bytes)] {
    std::mt19937 rng(99);
    std::size_t at = 0;
    while (at < bytes.size()) {
      int n = static_cast<int>(std::min<std::size_t>(1 + rng() % 40000, bytes.size() - at));
      if (RingBuffer_write(*buffer, bytes.data() + at, n) < 0) break;
      at += static_cast<std::size_t>(n);
    }
    RingBuffer_close(*buffer);
  });
}

std::string Drain(RingBuffer& buffer) {
  std::string out;
  std::vector<char> area(70000);
  for (;;) {
    int n = RingBuffer_read(buffer, area.data(), static_cast<int>(area.size()));
    if (n < 0) return out;
    out.append(area.data(), static_cast<std::size_t>(n));
  }
}

struct DecodeResult {
  int result;
  std::string output;
};

DecodeResult Decode(const std::string& compressed) {
  auto input = RingBuffer_create(1, 102400);
  auto output = RingBuffer_create(2, 102400);
  std::thread feeder = Feed(input, compressed);
  StageThread decoder = StartUnLZMAerStage(input, output);
  DecodeResult r;
  r.output = Drain(*output);
  r.result = decoder.Join();
  feeder.join();
  return r;
}

TEST(UnLZMAerTest, DecodesLegacyAndXzStreams) {
  const std::string data = SampleData(600000, 1);
  for (Container c : kContainers) {
    DecodeResult r = Decode(Compress(data, c));
    EXPECT_EQ(r.result, 0);
    EXPECT_TRUE(r.output == data) << "container " << static_cast<int>(c);
  }
}

// Buffers of a block's size come from the system and all go back to it: none may stay behind
// with the process that goes on to host the application.
TEST(UnLZMAerTest, GivesBlockSizedBuffersBackToTheSystem) {
  const std::string data = SampleData(6 << 20, 4);
  const std::size_t mappedBefore = DecoderLargeBlocksMapped();
  DecodeResult r = Decode(Compress(data, Container::kXzBlocks, 2 << 20));
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.output == data);
  EXPECT_GT(DecoderLargeBlocksMapped(), mappedBefore);
  EXPECT_EQ(DecoderLargeBlocksHeld(), 0u);
}

TEST(UnLZMAerTest, IgnoresBytesAfterTheEndOfTheStream) {
  const std::string data = SampleData(200000, 2);
  // Plenty of trailing bytes: the producer must be released when the decoder stops reading.
  for (Container c : {Container::kXz, Container::kXzBlocks}) {
    std::string compressed = Compress(data, c) + SampleData(500000, 3);
    DecodeResult r = Decode(compressed);
    EXPECT_EQ(r.result, 0);
    EXPECT_TRUE(r.output == data) << "container " << static_cast<int>(c);
  }
}

TEST(UnLZMAerTest, CorruptStreamFailsAndClosesItsOutput) {
  ::testing::internal::CaptureStderr();
  // 0xFF can start neither container, so nothing at all is decoded.
  DecodeResult r = Decode("\xFF" + SampleData(100000, 4));
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(r.result, 1);
  EXPECT_TRUE(r.output.empty());
  EXPECT_NE(err.find("lzma_code failed: "), std::string::npos) << err;

  // Damage inside a valid stream: the data that was decoded before it is passed on.
  const std::string data = SampleData(300000, 5);
  std::string compressed = Compress(data, Container::kXz);
  for (std::size_t i = compressed.size() / 2; i < compressed.size() / 2 + 64; ++i)
    compressed[i] = static_cast<char>(compressed[i] ^ 0x5A);
  ::testing::internal::CaptureStderr();
  r = Decode(compressed);
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(r.result, 1);
  EXPECT_LT(r.output.size(), data.size());
}

TEST(UnLZMAerTest, TruncatedStreamEndsEarlyWithWhatWasDecoded) {
  const std::string data = SampleData(600000, 6);
  for (Container c : kContainers) {
    std::string compressed = Compress(data, c);
    compressed.resize(compressed.size() / 2);
    DecodeResult r = Decode(compressed);
    EXPECT_EQ(r.result, 0);
    EXPECT_GT(r.output.size(), 0u);
    EXPECT_LT(r.output.size(), data.size());
    EXPECT_TRUE(data.compare(0, r.output.size(), r.output) == 0);
  }
}

TEST(StageThreadTest, DestroyingAWaitingStageStopsAndJoinsIt) {
  auto input = RingBuffer_create(1, 1024);
  auto output = RingBuffer_create(2, 1024);
  {
    StageThread decoder = StartUnLZMAerStage(input, output);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(decoder.Joinable());
  }  // no data ever arrives: only the close done by the destructor lets this return
  EXPECT_TRUE(input->Closed());
  EXPECT_TRUE(output->Closed());

  // A joined stage is not closed behind its consumers' back.
  auto in2 = RingBuffer_create(3, 64);
  auto out2 = RingBuffer_create(4, 64);
  StageThread s([] { return 7; }, {in2, out2});
  EXPECT_EQ(s.Join(), 7);
  EXPECT_EQ(s.Join(), 7);
  StageThread moved = std::move(s);
  EXPECT_FALSE(moved.Joinable());
  EXPECT_FALSE(in2->Closed());
}

using FileStageTest = testing::TempFolderTest;

TEST_F(FileStageTest, FileReaderClosesItsOutputAtTheEndOfTheFile) {
  const std::string content = SampleData(700000, 7);  // several times the buffer's size
  Write("in.bin", content);
  FileReaderPipe pipe = StartFileReader(fs::OpenFile(Path("in.bin"), "rb"));
  ASSERT_EQ(pipe.buffer->id(), 3);
  ASSERT_EQ(pipe.buffer->capacity(), 204800);
  EXPECT_TRUE(Drain(*pipe.buffer) == content);
  EXPECT_EQ(pipe.reader.Join(), 0);
}

TEST_F(FileStageTest, ConsumerOfACutShortFileSeesTheEndInsteadOfHanging) {
  const char fields[] = "first\0second\0thi";  // the third field is cut short
  Write("short.bin", std::string(fields, sizeof fields - 1));
  FileReaderPipe pipe = StartFileReader(fs::OpenFile(Path("short.bin"), "rb"));
  EXPECT_EQ(RingBuffer_readUntil(*pipe.buffer, "a", 100, nullptr), "first");
  EXPECT_EQ(RingBuffer_readUntil(*pipe.buffer, "b", 100, nullptr), "second");
  EXPECT_EQ(RingBuffer_readUntil(*pipe.buffer, "c", 100, nullptr), std::nullopt);
  EXPECT_EQ(pipe.reader.Join(), 0);
}

TEST_F(FileStageTest, ConsumerCloseStopsAReaderOfALongFile) {
  Write("long.bin", std::string("header\0", 7) + SampleData(3000000, 8));
  FileReaderPipe pipe = StartFileReader(fs::OpenFile(Path("long.bin"), "rb"));
  EXPECT_EQ(RingBuffer_readUntil(*pipe.buffer, "h", 100, nullptr), "header");
  RingBuffer_close(*pipe.buffer);  // the consumer has what it wanted
  EXPECT_EQ(pipe.reader.Join(), 0);
}

TEST_F(FileStageTest, FileReaderStartsWhereTheFileIsPositioned) {
  Write("pos.bin", std::string("skip\0keep\0", 10));
  OwnedFile file = fs::OpenFile(Path("pos.bin"), "rb");
  ASSERT_TRUE(file);
  ASSERT_EQ(std::fseek(file.get(), 5, SEEK_SET), 0);
  FileReaderPipe pipe = StartFileReader(std::move(file));
  EXPECT_EQ(RingBuffer_readUntil(*pipe.buffer, "k", 100, nullptr), "keep");
}

TEST_F(FileStageTest, ReaderDecoderAndSaverFormOnePipeline) {
  // A compressed payload read from a file, decoded, and saved: every stage ends on its own.
  const std::string data = SampleData(900000, 10);
  Write("payload.xz", Compress(data, Container::kXz));
  auto raw = RingBuffer_create(1, 102400);
  auto decoded = RingBuffer_create(2, 102400);
  StageThread reader = StartFileReaderStage(fs::OpenFile(Path("payload.xz"), "rb"), raw);
  StageThread decoder = StartUnLZMAerStage(raw, decoded);
  StageThread saver = StartFileSaverStage(fs::OpenFile(Path("payload.bin"), "wb"), decoded);
  EXPECT_EQ(saver.Join(), 0);
  EXPECT_EQ(decoder.Join(), 0);
  EXPECT_EQ(reader.Join(), 0);
  EXPECT_TRUE(Read(Path("payload.bin")) == data);
}

TEST_F(FileStageTest, FileSaverWritesTheWholeStream) {
  const std::string content = SampleData(250000, 9);
  auto input = RingBuffer_create(4, 102400);
  StageThread saver = StartFileSaverStage(fs::OpenFile(Path("out.bin"), "wb"), input);
  std::thread feeder = Feed(input, content);
  EXPECT_EQ(saver.Join(), 0);
  feeder.join();
  EXPECT_TRUE(Read(Path("out.bin")) == content);
}

TEST_F(FileStageTest, FileSaverWithoutAFileRefusesTheStream) {
  auto input = RingBuffer_create(4, 1024);
  OwnedFile none = fs::OpenFile(Path("missing-folder/out.bin"), "wb");
  ASSERT_FALSE(none);
  StageThread saver = StartFileSaverStage(std::move(none), input);
  EXPECT_EQ(saver.Join(), -1);
  EXPECT_TRUE(input->Closed());
}

}  // namespace
}  // namespace ferrolan::pipeline
