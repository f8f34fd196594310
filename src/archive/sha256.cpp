#include "archive/sha256.h"

#include <tomcrypt.h>

#include "archive/sha256_blocks.h"

namespace ferrolan::archive {

static_assert(sizeof(hash_state) <= 512 && alignof(hash_state) <= 16,
              "Sha256 cannot hold libtomcrypt's hash_state");

namespace {
hash_state* StateOf(unsigned char* storage) { return reinterpret_cast<hash_state*>(storage); }
}  // namespace

Sha256::Sha256() { sha256_init(StateOf(state_)); }

void Sha256::Add(const void* bytes, std::size_t length) {
  Sha256Process(StateOf(state_), static_cast<const unsigned char*>(bytes),
                static_cast<unsigned long>(length));
}

std::string Sha256::HexDigest() {
  unsigned char digest[32];
  sha256_done(StateOf(state_), digest);
  static const char kDigits[] = "0123456789abcdef";  // lower case, as sha256sum prints it
  std::string hex;
  for (const unsigned char byte : digest) {
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0x0F]);
  }
  return hex;
}

}  // namespace ferrolan::archive
