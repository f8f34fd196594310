#include "pipeline/ring_buffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace ferrolan::pipeline {
namespace {

using namespace std::chrono_literals;

std::string Bytes(int n, char first = 'a') {
  std::string s;
  for (int i = 0; i < n; ++i) s.push_back(static_cast<char>(first + i % 26));
  return s;
}

int Write(RingBuffer& b, const std::string& s) {
  return RingBuffer_write(b, s.data(), static_cast<int>(s.size()));
}

std::string Read(RingBuffer& b, int maximum) {
  std::string out(static_cast<std::size_t>(maximum), '\0');
  int n = RingBuffer_read(b, out.data(), maximum);
  if (n < 0) return "<eos>";
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// Waits (bounded) until `done` is set, so a test that would hang fails instead.
bool Eventually(const std::atomic<bool>& done) {
  for (int i = 0; i < 500 && !done; ++i) std::this_thread::sleep_for(10ms);
  return done;
}

// A short pause that gives another thread the chance to pass a point it must not pass.
void Settle() { std::this_thread::sleep_for(50ms); }

TEST(RingBufferTest, FullAndEmptyAreToldApartByEnd) {
  RingBuffer b(1, 10);
  EXPECT_EQ(b.Used(), 0);
  EXPECT_EQ(b.End(), -1);
  EXPECT_EQ(Write(b, Bytes(10)), 10);
  EXPECT_EQ(b.Used(), 10);
  EXPECT_EQ(b.End(), b.Start());
  EXPECT_EQ(Read(b, 10), Bytes(10));
  EXPECT_EQ(b.Used(), 0);
  EXPECT_EQ(b.Start(), 0);
  EXPECT_EQ(b.End(), -1);
}

TEST(RingBufferTest, WriteWrapsAroundInTwoPiecesAndReadsBackInOrder) {
  RingBuffer b(1, 10);
  ASSERT_EQ(Write(b, "012345"), 6);
  ASSERT_EQ(Read(b, 4), "0123");
  ASSERT_EQ(Write(b, "abcdefg"), 7);  // 4 bytes at the tail of the storage, 3 at its head
  EXPECT_EQ(b.Used(), 9);
  EXPECT_EQ(b.Start(), 4);
  EXPECT_EQ(b.End(), 3);
  EXPECT_EQ(Read(b, 1000), "45abcdefg");  // the read wraps too
  EXPECT_EQ(b.End(), -1);
}

TEST(RingBufferTest, ReadReturnsWhatIsThereWithoutWaitingToFillMaximum) {
  RingBuffer b(1, 1000);
  ASSERT_EQ(Write(b, Bytes(300)), 300);
  EXPECT_EQ(Read(b, 1000), Bytes(300));
}

TEST(RingBufferTest, NonPositiveWriteLengthStoresNothing) {
  RingBuffer b(1, 10);
  EXPECT_EQ(RingBuffer_write(b, "x", 0), 0);
  EXPECT_EQ(RingBuffer_write(b, "x", -5), 0);
  EXPECT_EQ(b.Used(), 0);
}

TEST(RingBufferTest, ClosedBufferHandsOutWhatItHoldsThenEndOfStream) {
  RingBuffer b(1, 100);
  ASSERT_EQ(Write(b, Bytes(50)), 50);
  RingBuffer_close(b);
  RingBuffer_close(b);  // twice is harmless
  EXPECT_EQ(Read(b, 30), Bytes(50).substr(0, 30));
  EXPECT_EQ(Read(b, 100), Bytes(50).substr(30));
  EXPECT_EQ(Read(b, 100), "<eos>");
  EXPECT_EQ(Read(b, 100), "<eos>");
}

TEST(RingBufferTest, ClosedBufferTakesWritesThatFitAndRefusesThoseThatWouldWait) {
  RingBuffer b(1, 100);
  ASSERT_EQ(Write(b, Bytes(70)), 70);
  RingBuffer_close(b);
  EXPECT_EQ(Write(b, Bytes(20)), 20);
  EXPECT_EQ(Write(b, Bytes(40)), -1);
  EXPECT_EQ(b.Used(), 90);
}

TEST(RingBufferTest, ReadUntilReturnsFieldsAndCollectsTheirRawBytes) {
  RingBuffer b(1, 64);
  const char data[] = "name\0\0value";
  ASSERT_EQ(RingBuffer_write(b, data, sizeof data), static_cast<int>(sizeof data));
  FieldCollector collector;
  EXPECT_EQ(RingBuffer_readUntil(b, "name", 100, &collector), "name");
  EXPECT_EQ(RingBuffer_readUntil(b, "empty", 100, &collector), "");
  EXPECT_EQ(RingBuffer_readUntil(b, "value", 100, nullptr), "value");
  ASSERT_EQ(collector.count(), 2);
  EXPECT_EQ(collector.blocks[0], std::string("name\0", 5));
  EXPECT_EQ(collector.blocks[1], std::string("\0", 1));
  EXPECT_EQ(b.Used(), 0);
}

TEST(RingBufferTest, ReadUntilFindsAFieldThatWrapsAroundTheStorage) {
  RingBuffer b(1, 8);
  ASSERT_EQ(Write(b, "123456"), 6);
  ASSERT_EQ(Read(b, 6), "123456");
  ASSERT_EQ(Write(b, "12"), 2);  // start moves past the middle
  ASSERT_EQ(Read(b, 1), "1");
  ASSERT_EQ(RingBuffer_write(b, "abcde\0", 6), 6);  // "2abcde\0" wraps
  EXPECT_EQ(RingBuffer_readUntil(b, "f", 100, nullptr), "2abcde");
  EXPECT_EQ(b.Used(), 0);
}

TEST(RingBufferTest, ReadUntilOnClosedBufferWithoutNulLeavesTheBytes) {
  RingBuffer b(1, 10);
  ASSERT_EQ(Write(b, "ab"), 2);
  RingBuffer_close(b);
  EXPECT_EQ(RingBuffer_readUntil(b, "f", 100, nullptr), std::nullopt);
  EXPECT_EQ(b.Used(), 2);
  EXPECT_EQ(Read(b, 10), "ab");
}

TEST(RingBufferTest, ReadUntilRefusesAFieldLongerThanItsLimit) {
  // Whole field present: refused, nothing consumed.
  RingBuffer b(1, 100);
  ASSERT_EQ(RingBuffer_write(b, "abcdef\0", 7), 7);
  EXPECT_EQ(RingBuffer_readUntil(b, "f", 6, nullptr), std::nullopt);  // needs 7 with its NUL
  EXPECT_EQ(b.Used(), 7);
  EXPECT_EQ(RingBuffer_readUntil(b, "f", 7, nullptr), "abcdef");

  // No NUL yet but already more bytes than the limit allows: refused at once, not waited for.
  RingBuffer open(2, 100);
  ASSERT_EQ(Write(open, Bytes(20)), 20);
  EXPECT_EQ(RingBuffer_readUntil(open, "f", 10, nullptr), std::nullopt);
  EXPECT_FALSE(open.Closed());
  EXPECT_EQ(open.Used(), 20);
}

TEST(RingBufferTest, ReadUntilRefusesAFieldThatFillsTheWholeBuffer) {
  // The limit would allow the field but the buffer can never hold it with its NUL: waiting
  // would deadlock against a writer that waits for room.
  RingBuffer b(1, 16);
  std::atomic<bool> done{false};
  std::optional<std::string> field = "unset";
  std::thread reader([&] {
    field = RingBuffer_readUntil(b, "f", 1000, nullptr);
    done = true;
  });
  ASSERT_EQ(Write(b, Bytes(16)), 16);
  ASSERT_TRUE(Eventually(done));
  reader.join();
  EXPECT_EQ(field, std::nullopt);
  EXPECT_EQ(b.Used(), 16);
}

TEST(RingBufferBlockingTest, WriteWaitsForRoomUntilTheReaderMakesIt) {
  RingBuffer b(1, 10);
  ASSERT_EQ(Write(b, Bytes(8)), 8);
  std::atomic<bool> done{false};
  int result = 0;
  std::thread writer([&] {
    result = Write(b, "WXYZ");
    done = true;
  });
  Settle();
  EXPECT_FALSE(done);
  EXPECT_EQ(Read(b, 1), "a");  // 3 free: still not enough
  Settle();
  EXPECT_FALSE(done);
  EXPECT_EQ(Read(b, 1), "b");  // 4 free
  ASSERT_TRUE(Eventually(done));
  writer.join();
  EXPECT_EQ(result, 4);
  EXPECT_EQ(Read(b, 100), "cdefghWXYZ");
}

TEST(RingBufferBlockingTest, ReadAndReadUntilWaitForData) {
  RingBuffer b(1, 10);
  std::atomic<bool> done{false};
  std::string got;
  std::thread reader([&] {
    got = Read(b, 10);
    done = true;
  });
  Settle();
  EXPECT_FALSE(done);
  ASSERT_EQ(Write(b, "hi"), 2);
  ASSERT_TRUE(Eventually(done));
  reader.join();
  EXPECT_EQ(got, "hi");

  // A field without its NUL keeps ReadUntil waiting; the NUL completes it and exactly the
  // field's bytes are consumed.
  done = false;
  std::optional<std::string> field;
  std::thread fieldReader([&] {
    field = RingBuffer_readUntil(b, "f", 100, nullptr);
    done = true;
  });
  ASSERT_EQ(Write(b, "abc"), 3);
  Settle();
  EXPECT_FALSE(done);
  ASSERT_EQ(RingBuffer_write(b, "\0xy", 3), 3);
  ASSERT_TRUE(Eventually(done));
  fieldReader.join();
  EXPECT_EQ(field, "abc");
  EXPECT_EQ(b.Used(), 2);
}

TEST(RingBufferBlockingTest, CloseWakesAWaitingWriterAndAWaitingReader) {
  RingBuffer full(1, 4);
  ASSERT_EQ(Write(full, "1234"), 4);
  RingBuffer empty(2, 4);
  RingBuffer partial(3, 4);
  ASSERT_EQ(Write(partial, "ab"), 2);

  std::atomic<int> finished{0};
  int writeResult = 0, readResult = 0;
  std::optional<std::string> field = "unset";
  std::thread writer([&] {
    writeResult = Write(full, "5");
    ++finished;
  });
  std::thread reader([&] {
    char c;
    readResult = RingBuffer_read(empty, &c, 1);
    ++finished;
  });
  std::thread fieldReader([&] {
    field = RingBuffer_readUntil(partial, "f", 100, nullptr);
    ++finished;
  });
  Settle();
  EXPECT_EQ(finished, 0);
  RingBuffer_close(full);
  RingBuffer_close(empty);
  RingBuffer_close(partial);
  writer.join();
  reader.join();
  fieldReader.join();
  EXPECT_EQ(writeResult, -1);
  EXPECT_EQ(readResult, -1);
  EXPECT_EQ(field, std::nullopt);
  EXPECT_EQ(partial.Used(), 2);
}

// A field that fills most of the buffer: the writer's next chunk does not fit whole, and the
// reader cannot make room before the field's end, which is in that chunk. The writer hands over
// what fits, the reader completes the field, and the rest of the chunk follows. Before, both
// waited for good; the close after the time-out keeps such a fault from hanging the test.
TEST(RingBufferBlockingTest, ReadUntilAndAWriterWaitingForRoomNeverWaitOnEachOther) {
  RingBuffer b(1, 100);
  const std::string field = Bytes(90);
  const std::string rest = std::string(1, '\0') + Bytes(20, 'A');
  std::atomic<bool> done{false};
  std::optional<std::string> got;
  std::thread reader([&] {
    got = RingBuffer_readUntil(b, "f", 100, nullptr);
    done = true;
  });
  int second = 0;
  std::thread writer([&] {
    ASSERT_EQ(Write(b, field.substr(0, 60)), 60);
    second = Write(b, field.substr(60) + rest);  // 51 bytes, with 40 free
  });
  const bool finished = Eventually(done);
  RingBuffer_close(b);
  reader.join();
  writer.join();
  ASSERT_TRUE(finished) << "the field reader and the writer waited on each other";
  EXPECT_EQ(got, field);
  EXPECT_EQ(second, 51);
  EXPECT_EQ(Read(b, 100), Bytes(20, 'A'));
}

// The byte count of the stress test: 1 GiB natively; sanitizer and emulated builds set
// FERROLAN_STRESS_MIB (the test presets of those builds do) because they run many times slower.
std::int64_t StressBytes() {
  std::int64_t mib = 1024;
  if (const char* env = std::getenv("FERROLAN_STRESS_MIB")) {
    int value = std::atoi(env);
    if (value > 0) mib = value;
  }
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
  if (std::getenv("FERROLAN_STRESS_MIB") == nullptr) mib = 64;
#endif
  return mib * 1024 * 1024;
}

// FNV-1a over 64 bits: order-sensitive, so a lost, duplicated or swapped chunk changes it.
struct Checksum {
  std::uint64_t h = 1469598103934665603ULL;
  void Add(const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      h ^= p[i];
      h *= 1099511628211ULL;
    }
  }
};

TEST(RingBufferStressTest, TwoThreadsMoveRandomBytesInRandomChunksUnchanged) {
  constexpr int kCapacity = 102400;
  const std::int64_t total = StressBytes();
  RingBuffer b(1, kCapacity);
  Checksum sent, received;
  std::int64_t receivedBytes = 0;

  std::thread producer([&] {
    std::mt19937_64 rng(12345);
    std::uniform_int_distribution<int> chunkSize(1, kCapacity);
    std::vector<std::uint8_t> chunk(kCapacity);
    std::int64_t left = total;
    while (left > 0) {
      int n = static_cast<int>(std::min<std::int64_t>(chunkSize(rng), left));
      // Fill 8 bytes per draw; the generator is far faster than byte-wise distributions.
      for (int i = 0; i < n; i += 8) {
        std::uint64_t r = rng();
        std::memcpy(chunk.data() + i, &r, static_cast<std::size_t>(std::min(8, n - i)));
      }
      sent.Add(chunk.data(), static_cast<std::size_t>(n));
      if (RingBuffer_write(b, chunk.data(), n) != n) {
        ADD_FAILURE() << "write refused with " << left << " bytes left";
        break;  // the close below still ends the consumer
      }
      left -= n;
    }
    RingBuffer_close(b);
  });

  std::mt19937 rng(678);
  std::uniform_int_distribution<int> readSize(1, 2 * kCapacity);
  std::vector<std::uint8_t> area(2 * kCapacity);
  for (;;) {
    int n = RingBuffer_read(b, area.data(), readSize(rng));
    if (n < 0) break;
    ASSERT_GT(n, 0);
    received.Add(area.data(), static_cast<std::size_t>(n));
    receivedBytes += n;
  }
  producer.join();
  EXPECT_EQ(receivedBytes, total);
  EXPECT_EQ(received.h, sent.h);
}

}  // namespace
}  // namespace ferrolan::pipeline
