#include "archive/sha256.h"

#include <tomcrypt.h>

#include <cctype>

#include "archive/archive_writer.h"
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
  std::string hex = BytesToHex(digest, sizeof digest);
  for (char& c : hex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return hex;  // as sha256sum prints it
}

}  // namespace ferrolan::archive
