// The "mixed" hash that archive signatures are made over: 64 bytes, the SHA-256 digest of the
// message followed by its Keccak-256 digest. Keccak-256 here is the sponge as submitted to the
// SHA-3 competition (padding byte 0x01), not FIPS 202 SHA3-256 (0x06): the digests differ, and
// the signatures in the archives are made with this one.
//
// Both hashes are registered into libtomcrypt's hash registry ("mixed" and "sha3_256") so its
// RSA-PSS code can run its encoding and MGF1 on the mixed hash. libtomcrypt hands each
// descriptor one fixed-size `hash_state` and allocates such states itself inside PSS, so a
// mixed state keeps both halves side by side inside one `hash_state`: the SHA-256 state in the
// union's own `sha256` member at the start, the Keccak state after it. Outside this library
// that record is opaque storage (MixedHashState), so the launcher and the packager do not see
// libtomcrypt's headers; the descriptor-level operations are in mixed_hash_descriptors.h.
//
// Platforms: identical on Windows and POSIX (byte order is handled explicitly).
#pragma once

#include <cstddef>
#include <cstdint>

namespace ferrolan::pipeline {
struct FieldCollector;
}

namespace ferrolan::archive {

inline constexpr std::size_t kMixedDigestSize = 64;
inline constexpr std::size_t kKeccakDigestSize = 32;
inline constexpr int kKeccakRateBytes = 136;  // 1088 bits; capacity 512 bits

/// The Keccak-f[1600] sponge state for a 256-bit digest.
struct Keccak256State {
  std::uint64_t lanes[25];   // 200 bytes, little-endian lane order
  std::int32_t bitPosition;  // bits absorbed into the current block; -1 once finished
};

/// A mixed hash state: storage for the libtomcrypt `hash_state` record that holds both halves
/// (see above). mixed_hash.cpp checks that the record fits. Copying a state copies the hash.
struct MixedHashState {
  alignas(16) unsigned char record[512];
};

/// The three operations of the "mixed" hash. Each returns libtomcrypt's error code (CRYPT_OK,
/// 0, for success). `digest` receives kMixedDigestSize bytes.
int MixedHash_init(MixedHashState* state);
int MixedHash_process(MixedHashState* state, const unsigned char* bytes, unsigned long length);
int MixedHash_done(MixedHashState* state, unsigned char* digest);

/// Registers "mixed", libtomcrypt's "sha256" and "sha3_256", in that order, adding only what
/// is missing. Returns the registry index of "mixed", or -1 if the registry is full.
/// Safe to call from several threads.
int RegisterArchiveHashes();

/// Feeds every block of the collector to the mixed hash in order (each block holds a field
/// with its NUL), then empties the collector. Does nothing but empty it when `state` is null.
void HashFields(pipeline::FieldCollector& collector, MixedHashState* state);

}  // namespace ferrolan::archive
