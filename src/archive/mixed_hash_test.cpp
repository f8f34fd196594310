#include "archive/mixed_hash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

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

// Bytes 3, 10, 17, ...: a message without long runs of one value.
std::string Pattern(std::size_t length) {
  std::string message;
  for (std::size_t i = 0; i < length; ++i) message.push_back(static_cast<char>(i * 7 + 3));
  return message;
}

// Keccak-256 of `message`, fed in pieces whose sizes go round `pieces`.
std::string Keccak256Hex(const std::string& message, const std::vector<std::size_t>& pieces) {
  hash_state state;
  Keccak256_init(&state);
  const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
  for (std::size_t at = 0, i = 0; at < message.size(); ++i) {
    const std::size_t n = std::min(pieces[i % pieces.size()], message.size() - at);
    EXPECT_EQ(Keccak256_process(&state, bytes + at, static_cast<unsigned long>(n)), 0);
    at += n;
  }
  unsigned char digest[kKeccakDigestSize];
  EXPECT_EQ(Keccak256_done(&state, digest), 0);
  return BytesToHex(digest, sizeof digest);
}

TEST(Keccak256Test, KnownDigestsAroundTheBlockSize) {
  // 135 bytes leave one byte of the block for the whole padding (0x81); 136 fill it, so the
  // padding takes a block of its own; 137 spill one byte into a second block. The digests come
  // from an implementation written separately from the sponge's definition.
  const struct {
    std::size_t length;
    const char* digest;
  } cases[] = {
      {135, "00ef96af9cf4b24c7f269d922294444a197d0a33638c2e56634c57e892103a8f"},
      {136, "742061bcad767ed4c4f5883b1dcb1aad11afdcc140dc469d953759b127b9f9ed"},
      {137, "e3371f61e770abf254c34239c3b0099ad90594507415bc81dd0a10b9692bbf2a"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Keccak256Hex(Pattern(c.length), {c.length}), Upper(c.digest)) << c.length;
}

TEST(Keccak256Test, ALongMessageInUnevenPiecesGivesTheDigestOfOneGo) {
  // 100,000 bytes run the permutation 736 times, so a fault that only shows after many rounds
  // of chaining cannot hide. Pieces of 1, 7, 135, 136, 137 and 4093 bytes in turn start at
  // every offset within a block, and whole blocks are then absorbed from unaligned addresses.
  const std::string message = Pattern(100000);
  const std::string expected =
      Upper("42350b8598669d17e07ef0f32083916166e0310d9faf2859dde1377b1d50826c");
  EXPECT_EQ(Keccak256Hex(message, {message.size()}), expected);
  EXPECT_EQ(Keccak256Hex(message, {1, 7, 135, 136, 137, 4093}), expected);
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
