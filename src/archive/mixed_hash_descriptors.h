// The libtomcrypt side of the mixed hash, private to the archive library: the "sha3_256"
// descriptor's operations and the view of a MixedHashState as the `hash_state` record that
// libtomcrypt's descriptors work on. Only src/archive's own sources include this header.
#pragma once

#include <tomcrypt.h>

#include "archive/mixed_hash.h"

namespace ferrolan::archive {

/// The three operations of the "sha3_256" descriptor, over a `hash_state` that holds a
/// Keccak256State at its start. Each returns 0, or -1 on failure (absorbing or finishing after
/// the digest has been taken).
int Keccak256_init(hash_state* state);
int Keccak256_process(hash_state* state, const unsigned char* bytes, unsigned long length);
int Keccak256_done(hash_state* state, unsigned char* digest);

/// The record a mixed state holds.
hash_state* AsHashState(MixedHashState* state);

}  // namespace ferrolan::archive
