#include "archive/mixed_hash.h"

#include <cstring>
#include <mutex>
#include <new>

#include "pipeline/ring_buffer.h"

namespace ferrolan::archive {
namespace {

// Where the Keccak half of a mixed state lives inside the libtomcrypt state record.
constexpr std::size_t AlignUp(std::size_t n, std::size_t a) { return (n + a - 1) / a * a; }
constexpr std::size_t kKeccakOffset = AlignUp(sizeof(sha256_state), alignof(Keccak256State));

// libtomcrypt allocates hash states itself (inside PSS and MGF1), so both halves must fit in
// the record it allocates. Debian's build has a 416-byte record and a 112-byte SHA-256 state.
static_assert(kKeccakOffset + sizeof(Keccak256State) <= sizeof(hash_state),
              "libtomcrypt's hash_state cannot hold a SHA-256 and a Keccak-256 state side by side");
static_assert(alignof(hash_state) >= alignof(Keccak256State));

Keccak256State* KeccakAt(hash_state* state, std::size_t offset) {
  return std::launder(
      reinterpret_cast<Keccak256State*>(reinterpret_cast<unsigned char*>(state) + offset));
}

constexpr std::uint64_t kRoundConstants[24] = {
    0x0000000000000001ULL, 0x0000000000008082ULL, 0x800000000000808aULL, 0x8000000080008000ULL,
    0x000000000000808bULL, 0x0000000080000001ULL, 0x8000000080008081ULL, 0x8000000000008009ULL,
    0x000000000000008aULL, 0x0000000000000088ULL, 0x0000000080008009ULL, 0x000000008000000aULL,
    0x000000008000808bULL, 0x800000000000008bULL, 0x8000000000008089ULL, 0x8000000000008003ULL,
    0x8000000000008002ULL, 0x8000000000000080ULL, 0x000000000000800aULL, 0x800000008000000aULL,
    0x8000000080008081ULL, 0x8000000000008080ULL, 0x0000000080000001ULL, 0x8000000080008008ULL};
constexpr int kRotations[24] = {1,  3,  6,  10, 15, 21, 28, 36, 45, 55, 2,  14,
                                27, 41, 56, 8,  25, 43, 62, 18, 39, 61, 20, 44};
constexpr int kPiLanes[24] = {10, 7,  11, 17, 18, 3, 5,  16, 8,  21, 24, 4,
                              15, 23, 19, 13, 12, 2, 20, 14, 22, 9,  6,  1};

std::uint64_t RotateLeft(std::uint64_t x, int n) { return (x << n) | (x >> (64 - n)); }

void KeccakF1600(std::uint64_t (&a)[25]) {
  std::uint64_t c[5];
  for (std::uint64_t roundConstant : kRoundConstants) {
    for (int i = 0; i < 5; ++i) c[i] = a[i] ^ a[i + 5] ^ a[i + 10] ^ a[i + 15] ^ a[i + 20];
    for (int i = 0; i < 5; ++i) {
      const std::uint64_t t = c[(i + 4) % 5] ^ RotateLeft(c[(i + 1) % 5], 1);
      for (int j = 0; j < 25; j += 5) a[j + i] ^= t;
    }
    std::uint64_t t = a[1];
    for (int i = 0; i < 24; ++i) {
      const int j = kPiLanes[i];
      const std::uint64_t next = a[j];
      a[j] = RotateLeft(t, kRotations[i]);
      t = next;
    }
    for (int j = 0; j < 25; j += 5) {
      for (int i = 0; i < 5; ++i) c[i] = a[j + i];
      for (int i = 0; i < 5; ++i) a[j + i] ^= ~c[(i + 1) % 5] & c[(i + 2) % 5];
    }
    a[0] ^= roundConstant;
  }
}

// Byte n of the state in little-endian lane order, independent of the host's byte order.
void XorByte(Keccak256State& s, int n, unsigned value) {
  s.lanes[n / 8] ^= static_cast<std::uint64_t>(value & 0xFFu) << (8 * (n % 8));
}

void XorBit(Keccak256State& s, int bit) { XorByte(s, bit / 8, 1u << (bit % 8)); }

int KeccakInit(Keccak256State& s) {
  std::memset(s.lanes, 0, sizeof s.lanes);
  s.bitPosition = 0;
  return 0;
}

int KeccakProcess(Keccak256State& s, const unsigned char* bytes, unsigned long length) {
  if (s.bitPosition < 0 || s.bitPosition % 8 != 0) return -1;
  int position = s.bitPosition / 8;
  for (unsigned long i = 0; i < length; ++i) {
    XorByte(s, position, bytes[i]);
    if (++position == kKeccakRateBytes) {
      KeccakF1600(s.lanes);
      position = 0;
    }
  }
  s.bitPosition = position * 8;
  return 0;
}

int KeccakDone(Keccak256State& s, unsigned char* digest) {
  constexpr int kLastBit = kKeccakRateBytes * 8 - 1;
  if (s.bitPosition < 0) return -1;
  // pad10*1: a one right after the message, a one in the last bit of the block.
  XorBit(s, s.bitPosition);
  if (s.bitPosition == kLastBit) KeccakF1600(s.lanes);
  XorBit(s, kLastBit);
  KeccakF1600(s.lanes);
  for (std::size_t i = 0; i < kKeccakDigestSize; ++i)
    digest[i] = static_cast<unsigned char>(s.lanes[i / 8] >> (8 * (i % 8)));
  s.bitPosition = -1;
  return 0;
}

int KeccakOnlyInit(hash_state* state) { return Keccak256_init(state); }
int KeccakOnlyProcess(hash_state* state, const unsigned char* in, unsigned long length) {
  return Keccak256_process(state, in, length);
}
int KeccakOnlyDone(hash_state* state, unsigned char* out) { return Keccak256_done(state, out); }

// Descriptor tables. The object identifiers are placeholders: PSS never encodes them.
const ltc_hash_descriptor kMixedDescriptor = {"mixed",
                                              20,
                                              kMixedDigestSize,
                                              64,
                                              {1, 3, 14, 3, 2, 52},
                                              6,
                                              &MixedHash_init,
                                              &MixedHash_process,
                                              &MixedHash_done,
                                              nullptr,
                                              nullptr};
const ltc_hash_descriptor kKeccakDescriptor = {"sha3_256",
                                               21,
                                               kKeccakDigestSize,
                                               64,
                                               {1, 3, 14, 3, 2, 53},
                                               6,
                                               &KeccakOnlyInit,
                                               &KeccakOnlyProcess,
                                               &KeccakOnlyDone,
                                               nullptr,
                                               nullptr};

}  // namespace

int Keccak256_init(hash_state* state) { return KeccakInit(*KeccakAt(state, 0)); }
int Keccak256_process(hash_state* state, const unsigned char* bytes, unsigned long length) {
  return KeccakProcess(*KeccakAt(state, 0), bytes, length);
}
int Keccak256_done(hash_state* state, unsigned char* digest) {
  return KeccakDone(*KeccakAt(state, 0), digest);
}

int MixedHash_init(MixedHashState* state) {
  const int result = sha256_init(state);
  if (result != CRYPT_OK) return result;
  return KeccakInit(*KeccakAt(state, kKeccakOffset));
}

int MixedHash_process(MixedHashState* state, const unsigned char* bytes, unsigned long length) {
  const int sha = sha256_process(state, bytes, length);
  const int keccak = KeccakProcess(*KeccakAt(state, kKeccakOffset), bytes, length);
  if (sha != CRYPT_OK) return sha;
  return keccak == 0 ? CRYPT_OK : CRYPT_ERROR;
}

int MixedHash_done(MixedHashState* state, unsigned char* digest) {
  const int sha = sha256_done(state, digest);
  const int keccak = KeccakDone(*KeccakAt(state, kKeccakOffset), digest + 32);
  if (sha != CRYPT_OK) return sha;
  return keccak == 0 ? CRYPT_OK : CRYPT_ERROR;
}

int RegisterArchiveHashes() {
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  const int mixed = register_hash(&kMixedDescriptor);
  if (register_hash(&sha256_desc) < 0 || register_hash(&kKeccakDescriptor) < 0) return -1;
  return mixed;
}

void HashFields(pipeline::FieldCollector& collector, MixedHashState* state) {
  if (state != nullptr) {
    for (const std::string& block : collector.blocks)
      MixedHash_process(state, reinterpret_cast<const unsigned char*>(block.data()),
                        static_cast<unsigned long>(block.size()));
  }
  collector.Clear();
}

}  // namespace ferrolan::archive
