// The Unarchiver: reads archive entries from a RingBuffer and writes them under a destination
// folder. Archives (the updater, the application, a JRE) are hashed while they stream and end
// with a signature block that is checked at the end; the wrapper tail's entries use the same
// entry form, one at a time, without hashing. A ".p2.l2" entry is itself a compressed, signed
// archive and is extracted in step through a nested decoder and unarchiver; a type 2 entry is a
// pack200-packed Java archive that the JRE's unpack200 turns into the real file.
//
// Refusals. Whatever the input, nothing is written outside the destination: an entry path that
// is absolute, has a drive letter or colon, or has a "." or ".." component rejects the whole
// archive, as does a length field that is not a plain decimal number up to 2^31-1. When a
// public key was imported every archive must carry a valid signature block; a signature block
// that arrives while no key was imported is refused too. A rejected archive ends the process
// (failure banner, destination emptied, exit code 1) because the launcher must not go on and
// use its files. Only without a key and without a block is an archive accepted unchecked.
//
// Platforms: portable. Entry paths may use "/" or "\"; each build writes its own separator.
// unpack200 is run through the Spawner (CreateProcessA on Windows, posix_spawn on POSIX).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/mixed_hash.h"
#include "pipeline/ring_buffer.h"
#include "pipeline/stages.h"

namespace ferrolan::archive {

inline constexpr int kCopyBufferSize = 0x100000;  // 1 MiB
inline constexpr int kNestedInputBufferId = 5;    // the in-step input of a ".p2.l2" entry
inline constexpr int kNestedInputCapacity = 1048576;
inline constexpr int kNestedDecodedCapacity = 102400;

/// What ExtractArchive keeps across the entries of one archive.
struct ArchiveState {
  ArchiveState();
  std::int32_t signatureLength = -1;        // from the signature block; -1 until read
  std::optional<std::string> signatureHex;  // the block's hex text
  bool signatureBlockSeen = false;          // the block's header was read
  MixedHashState hash;                      // every byte before the signature block
  pipeline::FieldCollector collector;       // the header fields of the current entry
  std::vector<char> copyBuffer;             // kCopyBufferSize bytes that carry content
};

/// Reads one entry from `input` and writes it under `destination`. With a state (an archive)
/// the bytes are hashed and the signature block is recognised; without one (a tail entry)
/// neither happens. Returns 0 when the caller should go on with the next entry, -1 when the
/// stream has ended (also in the middle of an entry header) or the signature block was read.
/// Ends the process for a refused entry (see above) or a file that cannot be written.
int ExtractArchiveEntry(pipeline::RingBuffer& input, const std::string& destination,
                        ArchiveState* state);

/// Reads exactly one tail entry and writes it under `destination`, which must exist. Uses a
/// process-wide 1 MiB copy buffer; call it from one thread only (the main flow).
int ExtractTailEntry(pipeline::RingBuffer& input, const std::string& destination);

/// Reads a whole archive until the end of the stream or its signature block, then checks the
/// signature. Returns 0; a rejected archive ends the process with exit code 1.
int ExtractArchive(pipeline::RingBuffer& input, const std::string& destination);

/// The path of the JRE's unpack200 executable, set by the main flow before a JRE archive is
/// extracted. Empty until then (a type 2 entry then logs that unpack200 produced nothing).
void SetUnpack200Path(std::string path);
std::string Unpack200Path();

/// The UnArchiver stage: logs "[Streamer] [UnArchiver] Starting...\n", runs ExtractArchive,
/// closes `input` (so a decoder still writing bytes after the signature block is released),
/// logs "[Streamer] [UnArchiver] Done.\n". Returns 0.
int RunUnArchiver(pipeline::RingBuffer& input, const std::string& destination);
pipeline::StageThread StartUnArchiverStage(std::shared_ptr<pipeline::RingBuffer> input,
                                           std::string destination);

/// The two threads of a nested extraction: the decoder first, the unarchiver second. The
/// caller waits for `unarchiver`; destroying the object stops and joins whatever still runs.
struct NestedExtraction {
  pipeline::StageThread decoder;
  pipeline::StageThread unarchiver;
};

/// Starts an LZMA decoder reading `input` into a new buffer (id 5, 102400 bytes) and an
/// UnArchiver writing that buffer's archive into `destination`. The producer of `input` closes
/// it after the last byte, so an archive cut short ends instead of leaving the decoder waiting.
NestedExtraction StartNestedExtraction(std::shared_ptr<pipeline::RingBuffer> input,
                                       std::string destination);

}  // namespace ferrolan::archive
