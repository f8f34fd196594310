// SHA-256 absorption for the archive hash, which runs over every byte an install extracts.
// libtomcrypt's portable compression function costs more than the decoding next to it, so
// whole blocks are compressed with the processor's SHA extensions where it has them (x86-64
// with SHA-NI), and with libtomcrypt's own code everywhere else.
//
// The state is libtomcrypt's: the function keeps its fields exactly as `sha256_process` would,
// so `sha256_done` finishes the digest either way.
//
// Platforms: identical on Windows and POSIX; the choice is made at run time from CPUID.
#pragma once

#include <tomcrypt.h>

namespace ferrolan::archive {

/// Absorbs `length` bytes into the SHA-256 half of `state`; libtomcrypt's error codes.
int Sha256Process(hash_state* state, const unsigned char* bytes, unsigned long length);

/// Whether Sha256Process uses the processor's SHA instructions on this machine.
bool Sha256UsesShaInstructions();

}  // namespace ferrolan::archive
