// A plain SHA-256 of a byte stream, for files whose digest something signed declares (the
// archives an update folder names). Uses the same block function as the archive hash.
//
// Platforms: identical on Windows and POSIX.
#pragma once

#include <cstddef>
#include <string>

namespace ferrolan::archive {

class Sha256 {
 public:
  Sha256();
  /// Absorbs `length` bytes.
  void Add(const void* bytes, std::size_t length);
  /// The digest of everything added, as 64 lower-case hex digits. The hasher is spent after.
  std::string HexDigest();

 private:
  alignas(16) unsigned char state_[512];  // libtomcrypt's hash_state (checked in sha256.cpp)
};

}  // namespace ferrolan::archive
