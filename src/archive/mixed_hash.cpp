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

// The 25 lanes of the state as named values, so that a round is straight-line code the compiler
// keeps in registers (with a few spills) rather than indexed memory. Lane (x, y), state word
// x + 5y, is named by its row y = b, g, k, m, s and its column x = a, e, i, o, u.
//
// Six lanes (be, bi, go, ki, mi, sa) are held complemented during the permutation. With those
// inputs chi's `b0 ^ (~b1 & b2)` becomes a plain AND or OR for most lanes, and a round takes five
// NOTs instead of twenty-five, which counts on processors without an and-not instruction
// (x86-64 before BMI1, the baseline we build for). Theta needs no change: the column parities and D
// values carry the complements along, and the chi of each row below is written for the pattern that
// results.
struct Lanes {
  std::uint64_t ba, be, bi, bo, bu;
  std::uint64_t ga, ge, gi, go, gu;
  std::uint64_t ka, ke, ki, ko, ku;
  std::uint64_t ma, me, mi, mo, mu;
  std::uint64_t sa, se, si, so, su;
};

// One round from `a` into `e`. Theta's column parities come first; then for each output row
// the five lanes pi moves there, each with theta's D added and rotated by its rho offset, go
// through chi together. Writing into a second set of lanes makes pi a renaming.
[[gnu::always_inline]] inline void Round(const Lanes& a, Lanes& e, std::uint64_t roundConstant) {
  const std::uint64_t c0 = a.ba ^ a.ga ^ a.ka ^ a.ma ^ a.sa;
  const std::uint64_t c1 = a.be ^ a.ge ^ a.ke ^ a.me ^ a.se;
  const std::uint64_t c2 = a.bi ^ a.gi ^ a.ki ^ a.mi ^ a.si;
  const std::uint64_t c3 = a.bo ^ a.go ^ a.ko ^ a.mo ^ a.so;
  const std::uint64_t c4 = a.bu ^ a.gu ^ a.ku ^ a.mu ^ a.su;
  const std::uint64_t d0 = c4 ^ std::rotl(c1, 1);
  const std::uint64_t d1 = c0 ^ std::rotl(c2, 1);
  const std::uint64_t d2 = c1 ^ std::rotl(c3, 1);
  const std::uint64_t d3 = c2 ^ std::rotl(c4, 1);
  const std::uint64_t d4 = c3 ^ std::rotl(c0, 1);
  {
    const std::uint64_t b0 = a.ba ^ d0;
    const std::uint64_t b1 = std::rotl(a.ge ^ d1, 44);
    const std::uint64_t b2 = std::rotl(a.ki ^ d2, 43);
    const std::uint64_t b3 = std::rotl(a.mo ^ d3, 21);
    const std::uint64_t b4 = std::rotl(a.su ^ d4, 14);
    e.ba = b0 ^ (b1 | b2) ^ roundConstant;
    e.be = b1 ^ (~b2 | b3);
    e.bi = b2 ^ (b3 & b4);
    e.bo = b3 ^ (b4 | b0);
    e.bu = b4 ^ (b0 & b1);
  }
  {
    const std::uint64_t b0 = std::rotl(a.bo ^ d3, 28);
    const std::uint64_t b1 = std::rotl(a.gu ^ d4, 20);
    const std::uint64_t b2 = std::rotl(a.ka ^ d0, 3);
    const std::uint64_t b3 = std::rotl(a.me ^ d1, 45);
    const std::uint64_t b4 = std::rotl(a.si ^ d2, 61);
    e.ga = b0 ^ (b1 | b2);
    e.ge = b1 ^ (b2 & b3);
    e.gi = b2 ^ (b3 | ~b4);
    e.go = b3 ^ (b4 | b0);
    e.gu = b4 ^ (b0 & b1);
  }
  {
    const std::uint64_t b0 = std::rotl(a.be ^ d1, 1);
    const std::uint64_t b1 = std::rotl(a.gi ^ d2, 6);
    const std::uint64_t b2 = std::rotl(a.ko ^ d3, 25);
    const std::uint64_t b3 = std::rotl(a.mu ^ d4, 8);
    const std::uint64_t b4 = std::rotl(a.sa ^ d0, 18);
    e.ka = b0 ^ (b1 | b2);
    e.ke = b1 ^ (b2 & b3);
    e.ki = b2 ^ (~b3 & b4);
    e.ko = ~b3 ^ (b4 | b0);
    e.ku = b4 ^ (b0 & b1);
  }
  {
    const std::uint64_t b0 = std::rotl(a.bu ^ d4, 27);
    const std::uint64_t b1 = std::rotl(a.ga ^ d0, 36);
    const std::uint64_t b2 = std::rotl(a.ke ^ d1, 10);
    const std::uint64_t b3 = std::rotl(a.mi ^ d2, 15);
    const std::uint64_t b4 = std::rotl(a.so ^ d3, 56);
    e.ma = b0 ^ (b1 & b2);
    e.me = b1 ^ (b2 | b3);
    e.mi = b2 ^ (~b3 | b4);
    e.mo = ~b3 ^ (b4 & b0);
    e.mu = b4 ^ (b0 | b1);
  }
  {
    const std::uint64_t b0 = std::rotl(a.bi ^ d2, 62);
    const std::uint64_t b1 = std::rotl(a.go ^ d3, 55);
    const std::uint64_t b2 = std::rotl(a.ku ^ d4, 39);
    const std::uint64_t b3 = std::rotl(a.ma ^ d0, 41);
    const std::uint64_t b4 = std::rotl(a.se ^ d1, 2);
    e.sa = b0 ^ (~b1 & b2);
    e.se = ~b1 ^ (b2 | b3);
    e.si = b2 ^ (b3 & b4);
    e.so = b3 ^ (b4 | b0);
    e.su = b4 ^ (b0 & b1);
  }
}

// Keccak-f[1600]: 24 rounds, two per iteration so that the lanes go from `a` to `e` and back
// without copies. This is the hot loop of the archive hash.
void KeccakF1600(std::uint64_t (&s)[25]) {
  Lanes a = {s[0],  ~s[1], ~s[2],  s[3],   s[4],  s[5],  s[6],  s[7],  ~s[8],
             s[9],  s[10], s[11],  ~s[12], s[13], s[14], s[15], s[16], ~s[17],
             s[18], s[19], ~s[20], s[21],  s[22], s[23], s[24]};
  Lanes e;
  for (int round = 0; round < 24; round += 2) {
    Round(a, e, kRoundConstants[round]);
    Round(e, a, kRoundConstants[round + 1]);
  }
  const std::uint64_t out[25] = {a.ba, ~a.be, ~a.bi, a.bo,  a.bu, a.ga, a.ge, a.gi, ~a.go,
                                 a.gu, a.ka,  a.ke,  ~a.ki, a.ko, a.ku, a.ma, a.me, ~a.mi,
                                 a.mo, a.mu,  ~a.sa, a.se,  a.si, a.so, a.su};
  std::memcpy(s, out, sizeof out);
}

// Eight bytes as a little-endian lane, whatever the host's byte order. Written out rather than as
// a loop: compilers recognize this form and make it one load on little-endian machines, which
// they do not do for the loop at -O2.
std::uint64_t LoadLane(const unsigned char* p) {
  return std::uint64_t{p[0]} | std::uint64_t{p[1]} << 8 | std::uint64_t{p[2]} << 16 |
         std::uint64_t{p[3]} << 24 | std::uint64_t{p[4]} << 32 | std::uint64_t{p[5]} << 40 |
         std::uint64_t{p[6]} << 48 | std::uint64_t{p[7]} << 56;
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
