#include "archive/sha256_blocks.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define FERROLAN_SHA_X86 1
#else
#define FERROLAN_SHA_X86 0
#endif

namespace ferrolan::archive {
namespace {

constexpr unsigned long kBlockBytes = 64;
static_assert(sizeof(ulong32) == 4, "libtomcrypt's SHA-256 state words must be 32 bits");

#if FERROLAN_SHA_X86

bool DetectShaInstructions() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
  const bool ssse3 = (c & (1u << 9)) != 0;
  const bool sse41 = (c & (1u << 19)) != 0;
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return false;
  return ssse3 && sse41 && (b & (1u << 29)) != 0;
}

alignas(16) constexpr std::uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

__m128i Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }

// Compresses `blocks` consecutive 64-byte blocks. The SHA instructions work on the state as
// the register pairs ABEF and CDGH, and on the message schedule four words at a time: each
// group of four rounds takes the next four schedule words, and the schedule for later groups
// is built with msg1/msg2 from the four most recent groups.
__attribute__((target("sha,sse4.1,ssse3"))) void CompressBlocks(ulong32 (&state)[8],
                                                                const unsigned char* data,
                                                                std::size_t blocks) {
  const __m128i byteSwap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
  __m128i cdab = _mm_shuffle_epi32(Load(&state[0]), 0xB1);
  __m128i efgh = _mm_shuffle_epi32(Load(&state[4]), 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

  for (; blocks > 0; --blocks, data += kBlockBytes) {
    const __m128i savedAbef = abef;
    const __m128i savedCdgh = cdgh;
    __m128i w[4] = {};
#pragma GCC unroll 16
    for (int g = 0; g < 16; ++g) {
      __m128i& current = w[g % 4];
      if (g < 4) current = _mm_shuffle_epi8(Load(data + 16 * g), byteSwap);
      __m128i message = _mm_add_epi32(current, Load(&kRoundConstants[4 * g]));
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, message);
      if (g >= 3 && g <= 14) {
        __m128i& next = w[(g + 1) % 4];
        next = _mm_add_epi32(next, _mm_alignr_epi8(current, w[(g + 3) % 4], 4));
        next = _mm_sha256msg2_epu32(next, current);
      }
      message = _mm_shuffle_epi32(message, 0x0E);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, message);
      if (g >= 1 && g <= 12) w[(g + 3) % 4] = _mm_sha256msg1_epu32(w[(g + 3) % 4], current);
    }
    abef = _mm_add_epi32(abef, savedAbef);
    cdgh = _mm_add_epi32(cdgh, savedCdgh);
  }

  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_alignr_epi8(dchg, feba, 8));
}

#else

bool DetectShaInstructions() { return false; }
void CompressBlocks(ulong32 (&)[8], const unsigned char*, std::size_t) {}

#endif

}  // namespace

bool Sha256UsesShaInstructions() {
  static const bool uses = DetectShaInstructions();
  return uses;
}

int Sha256Process(hash_state* state, const unsigned char* bytes, unsigned long length) {
  if (!Sha256UsesShaInstructions()) return sha256_process(state, bytes, length);
  // The same bookkeeping as libtomcrypt's: a partial block waits in buf, the length counts
  // bits; only the compression differs, and whole blocks go to it in one run.
  sha256_state& s = state->sha256;
  if (s.curlen > sizeof s.buf) return CRYPT_INVALID_ARG;
  if (s.length + length < s.length) return CRYPT_HASH_OVERFLOW;
  while (length > 0) {
    if (s.curlen == 0 && length >= kBlockBytes) {
      const unsigned long blocks = length / kBlockBytes;
      CompressBlocks(s.state, bytes, blocks);
      s.length += static_cast<ulong64>(blocks) * kBlockBytes * 8;
      bytes += blocks * kBlockBytes;
      length -= blocks * kBlockBytes;
      continue;
    }
    const unsigned long room = kBlockBytes - s.curlen;
    const unsigned long n = length < room ? length : room;
    std::memcpy(s.buf + s.curlen, bytes, n);
    s.curlen += static_cast<ulong32>(n);
    bytes += n;
    length -= n;
    if (s.curlen == kBlockBytes) {
      CompressBlocks(s.state, s.buf, 1);
      s.length += kBlockBytes * 8;
      s.curlen = 0;
    }
  }
  return CRYPT_OK;
}

}  // namespace ferrolan::archive
