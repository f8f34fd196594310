#include "archive/sha256_blocks.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace ferrolan::archive {
namespace {

std::string Digest(hash_state& state) {
  unsigned char digest[32];
  EXPECT_EQ(sha256_done(&state, digest), CRYPT_OK);
  return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

// libtomcrypt's own SHA-256 is the reference: every length around the block boundaries, fed
// whole and in uneven pieces, must give its digest. On a processor without SHA extensions this
// checks the fallback; with them, the instruction path.
TEST(Sha256BlocksTest, MatchesLibtomcryptForEveryLengthAndSplit) {
  std::mt19937 random(11);
  std::vector<unsigned char> data(4096 + 77);
  for (unsigned char& byte : data) byte = static_cast<unsigned char>(random());
  std::vector<unsigned long> lengths;
  for (unsigned long n = 0; n <= 200; ++n) lengths.push_back(n);
  lengths.push_back(static_cast<unsigned long>(data.size()));

  for (unsigned long length : lengths) {
    hash_state reference;
    sha256_init(&reference);
    if (length > 0) sha256_process(&reference, data.data(), length);
    const std::string expected = Digest(reference);

    hash_state whole;
    sha256_init(&whole);
    ASSERT_EQ(Sha256Process(&whole, data.data(), length), CRYPT_OK);
    EXPECT_EQ(Digest(whole), expected) << "length " << length;

    hash_state pieces;
    sha256_init(&pieces);
    for (unsigned long at = 0; at < length;) {
      unsigned long n = std::min<unsigned long>(1 + random() % 150, length - at);
      ASSERT_EQ(Sha256Process(&pieces, data.data() + at, n), CRYPT_OK);
      at += n;
    }
    EXPECT_EQ(Digest(pieces), expected) << "length " << length << " in pieces";
  }
  std::printf("SHA extensions in use: %s\n", Sha256UsesShaInstructions() ? "yes" : "no");
}

}  // namespace
}  // namespace ferrolan::archive
