#include "archive/mixed_hash.h"

#include <gtest/gtest.h>

#include <string>

#include "archive/archive_writer.h"
#include "archive/mixed_hash_descriptors.h"
#include "archive/signature.h"
#include "pipeline/ring_buffer.h"

namespace ferrolan::archive {
namespace {

std::string Mixed(const std::string& message) {
  MixedHashState state;
  EXPECT_EQ(MixedHash_init(&state), CRYPT_OK);
  EXPECT_EQ(MixedHash_process(&state, reinterpret_cast<const unsigned char*>(message.data()),
                              static_cast<unsigned long>(message.size())),
            CRYPT_OK);
  unsigned char digest[kMixedDigestSize];
  EXPECT_EQ(MixedHash_done(&state, digest), CRYPT_OK);
  return BytesToHex(digest, sizeof digest);
}

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

TEST(MixedHashTest, KnownDigests) {
  EXPECT_EQ(Mixed(""), Upper("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"
                             "c5d2460186f7233c927e7db2dcc703c0e500b653ca82273b7bfad8045d85a470"));
  EXPECT_EQ(Mixed("abc"),
            Upper("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"
                  "4e03657aea45a94fc7d47ba826c8d667c0d1e6e33a64a036ec44f58fa12d6c45"));
}

TEST(MixedHashTest, SplittingTheMessageAnywhereGivesTheSameDigest) {
  // 300 bytes spans two Keccak blocks of 136 bytes, so splits land before, on and after the
  // block boundaries.
  std::string message;
  for (int i = 0; i < 300; ++i) message.push_back(static_cast<char>(i * 7 + 3));
  const std::string whole = Mixed(message);
  const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
  for (unsigned long split = 0; split <= message.size(); ++split) {
    MixedHashState state;
    MixedHash_init(&state);
    MixedHash_process(&state, bytes, split);
    for (unsigned long i = split; i < message.size(); i += 5)  // and small pieces after it
      MixedHash_process(&state, bytes + i,
                        std::min<unsigned long>(5, static_cast<unsigned long>(message.size() - i)));
    unsigned char digest[kMixedDigestSize];
    MixedHash_done(&state, digest);
    ASSERT_EQ(BytesToHex(digest, sizeof digest), whole) << "split at " << split;
  }
}

TEST(MixedHashTest, KeccakPaddingAtTheBlockEndAndUseAfterDone) {
  // 135 bytes put the padding 0x81 into the block's last byte; a different digest from 134
  // and 136 bytes shows each length is padded on its own.
  hash_state state;
  unsigned char a[32], b[32];
  const std::string m(135, 'x');
  Keccak256_init(&state);
  Keccak256_process(&state, reinterpret_cast<const unsigned char*>(m.data()), 135);
  ASSERT_EQ(Keccak256_done(&state, a), 0);
  EXPECT_EQ(Keccak256_done(&state, b), -1);
  EXPECT_EQ(Keccak256_process(&state, a, 1), -1);
  Keccak256_init(&state);
  Keccak256_process(&state, reinterpret_cast<const unsigned char*>(m.data()), 134);
  Keccak256_process(&state, reinterpret_cast<const unsigned char*>(m.data()), 1);
  ASSERT_EQ(Keccak256_done(&state, b), 0);
  EXPECT_EQ(BytesToHex(a, 32), BytesToHex(b, 32));
}

TEST(MixedHashTest, RegistrationIsIdempotentAndFieldsAreHashedWithTheirNul) {
  const int first = RegisterArchiveHashes();
  ASSERT_GE(first, 0);
  EXPECT_EQ(RegisterArchiveHashes(), first);
  EXPECT_EQ(find_hash("mixed"), first);
  EXPECT_GE(find_hash("sha3_256"), 0);
  EXPECT_GE(find_hash("sha256"), 0);

  pipeline::FieldCollector collector;
  collector.blocks = {std::string("a\0", 2), std::string("bc\0", 3)};
  MixedHashState state;
  MixedHash_init(&state);
  HashFields(collector, &state);
  EXPECT_EQ(collector.count(), 0);
  unsigned char digest[kMixedDigestSize];
  MixedHash_done(&state, digest);
  EXPECT_EQ(BytesToHex(digest, sizeof digest), Mixed(std::string("a\0bc\0", 5)));
}

TEST(HexToBytesTest, DecodesPairsAndStopsAtTheFirstNonHexDigit) {
  unsigned char out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(HexToBytes(out, sizeof out, "0A0b"), 2);
  EXPECT_EQ(out[0], 0x0A);
  EXPECT_EQ(out[1], 0x0B);
  EXPECT_EQ(out[2], 0);
  EXPECT_EQ(HexToBytes(out, sizeof out, "0AZZ"), 1);
  EXPECT_EQ(out[0], 0x0A);
  EXPECT_EQ(out[1], 0);
  // Too little room: it stops rather than writing past the end.
  unsigned char small[3] = {0, 0, 0x77};
  EXPECT_EQ(HexToBytes(small, 2, "010203"), 1);
  EXPECT_EQ(small[2], 0x77);
}

}  // namespace
}  // namespace ferrolan::archive
