#include "archive/mixed_hash.h"

#include <bit>
#include <cstring>
#include <mutex>
#include <new>

#include "archive/mixed_hash_descriptors.h"
#include "archive/sha256_blocks.h"
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
static_assert(sizeof(hash_state) <= sizeof(MixedHashState::record) &&
                  alignof(hash_state) <= alignof(MixedHashState),
              "MixedHashState cannot hold libtomcrypt's hash_state");

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
// Rotation of lane x + 5y in the rho step, and where the pi step moves it: lane (x, y) goes to
// (y, 2x + 3y mod 5).
constexpr int kRho[25] = {0,  1,  62, 28, 27, 36, 44, 6,  55, 20, 3,  10, 43,
                          25, 39, 41, 45, 15, 21, 8,  18, 2,  61, 56, 14};
constexpr int PiTarget(int i) { return (i / 5) + 5 * ((2 * (i % 5) + 3 * (i / 5)) % 5); }

// Keccak-f[1600]. The loops have constant bounds and are unrolled completely, so every index is
// a constant and the state and temporaries live in registers instead of memory.
void KeccakF1600(std::uint64_t (&a)[25]) {
  for (std::uint64_t roundConstant : kRoundConstants) {
    std::uint64_t c[5];
    std::uint64_t b[25];
#pragma GCC unroll 5
    for (int x = 0; x < 5; ++x) c[x] = a[x] ^ a[x + 5] ^ a[x + 10] ^ a[x + 15] ^ a[x + 20];
#pragma GCC unroll 25
    for (int i = 0; i < 25; ++i) {
      const int x = i % 5;
      const std::uint64_t d = c[(x + 4) % 5] ^ std::rotl(c[(x + 1) % 5], 1);
      b[PiTarget(i)] = std::rotl(a[i] ^ d, kRho[i]);
    }
#pragma GCC unroll 25
    for (int i = 0; i < 25; ++i) {
      const int row = i - i % 5;
      a[i] = b[i] ^ (~b[row + (i + 1) % 5] & b[row + (i + 2) % 5]);
    }
    a[0] ^= roundConstant;
  }
}

// Eight bytes as a little-endian lane, whatever the host's byte order; compilers turn this into
// one load on little-endian machines.
std::uint64_t LoadLane(const unsigned char* p) {
  std::uint64_t lane = 0;
  for (int i = 7; i >= 0; --i) lane = (lane << 8) | p[i];
  return lane;
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
  // Whole blocks are absorbed a lane at a time; only a block's ragged start and end go bytewise.
  while (length > 0) {
    if (position == 0 && length >= kKeccakRateBytes) {
      for (int lane = 0; lane < kKeccakRateBytes / 8; ++lane)
        s.lanes[lane] ^= LoadLane(bytes + 8 * lane);
      KeccakF1600(s.lanes);
      bytes += kKeccakRateBytes;
      length -= kKeccakRateBytes;
      continue;
    }
    XorByte(s, position, *bytes++);
    --length;
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

// The "mixed" descriptor's operations, on the records libtomcrypt allocates inside PSS.
int MixedInit(hash_state* state) {
  const int result = sha256_init(state);
  if (result != CRYPT_OK) return result;
  return KeccakInit(*KeccakAt(state, kKeccakOffset));
}

int MixedProcess(hash_state* state, const unsigned char* bytes, unsigned long length) {
  const int sha = Sha256Process(state, bytes, length);
  const int keccak = KeccakProcess(*KeccakAt(state, kKeccakOffset), bytes, length);
  if (sha != CRYPT_OK) return sha;
  return keccak == 0 ? CRYPT_OK : CRYPT_ERROR;
}

int MixedDone(hash_state* state, unsigned char* digest) {
  const int sha = sha256_done(state, digest);
  const int keccak = KeccakDone(*KeccakAt(state, kKeccakOffset), digest + 32);
  if (sha != CRYPT_OK) return sha;
  return keccak == 0 ? CRYPT_OK : CRYPT_ERROR;
}

int KeccakOnlyInit(hash_state* state) { return Keccak256_init(state); }
int KeccakOnlyProcess(hash_state* state, const unsigned char* in, unsigned long length) {
  return Keccak256_process(state, in, length);
}
int KeccakOnlyDone(hash_state* state, unsigned char* out) { return Keccak256_done(state, out); }

// Descriptor tables. The object identifiers are placeholders: PSS never encodes them.
const ltc_hash_descriptor kMixedDescriptor = {
    "mixed",       20,         kMixedDigestSize, 64,     {1, 3, 14, 3, 2, 52}, 6, &MixedInit,
    &MixedProcess, &MixedDone, nullptr,          nullptr};
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

hash_state* AsHashState(MixedHashState* state) {
  return std::launder(reinterpret_cast<hash_state*>(state->record));
}

int MixedHash_init(MixedHashState* state) {
  // The record's lifetime as a libtomcrypt state starts here; the descriptor code fills it.
  return MixedInit(new (state->record) hash_state);
}

int MixedHash_process(MixedHashState* state, const unsigned char* bytes, unsigned long length) {
  return MixedProcess(AsHashState(state), bytes, length);
}

int MixedHash_done(MixedHashState* state, unsigned char* digest) {
  return MixedDone(AsHashState(state), digest);
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
