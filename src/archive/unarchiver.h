// The Unarchiver: reads archive entries from a RingBuffer and writes them under a destination
// folder. Archives (the updater, the application, a JRE) are hashed while they stream and end
// with a signature block that is checked at the end; the wrapper tail's entries use the same
// entry form, one at a time, without hashing. A ".p2.l2" entry is itself a compressed, signed
// archive and is extracted in step through a nested decoder and unarchiver; a type 2 entry is a
// pack200-packed Java archive that the JRE's unpack200 turns into the real file.
//
// Pack200. The unpack200 that runs may itself come from the archive being read (a JRE carries
// its own), so running it before the archive is accepted would let a forged archive run a
// program of its choice before its signature fails. A packed entry is therefore only written
// (as its path followed by ".p2") while the archive streams; the packed files are unpacked, in
// archive order, once the signature has been verified (or, for an archive accepted without a
// key and without a signature block, once it has ended). A rejected archive has them deleted
// with everything else, and verify-only runs nothing. An archive nested in another waits for
// its own signature and then for the outer one's, since the outer archive may hold the tool.
//
// Refusals. Whatever the input, nothing is written outside the destination: an entry path that
// is absolute, has a drive letter or colon, or has a "." or ".." component rejects the whole
// archive, as does a length field that is not a plain decimal number up to 2^31-1. When a
// public key was imported every archive must carry a valid signature block; a signature block
// that arrives while no key was imported is refused too. A rejected archive logs the failure
// banner, has its destination emptied and reports ArchiveStatus::kRejected: the caller must not
// go on and use its files (the launcher ends the run with exit code 1). Only without a key and
// without a block is an archive accepted unchecked. Nothing here ends the process.
//
// Failures. An archive that fails for any reason (a refusal, a bad signature, a file that
// cannot be written, an input that ends inside an entry, a damaged compressed stream, a disk
// that would fill past its reserve) leaves none of its files: the reader records every file and
// folder it creates and removes exactly those, deepest first; a folder that holds anything the
// archive did not create stays. An entry whose content or header the input does not hold to
// its end is a failure, never the archive's clean end.
//
// Disk reserve. Files arrive before the signature that vouches for them, so a forged archive
// could fill the disk before it is refused. Before each file, and after every few MiB written,
// the free space of the destination is checked: a file that would leave less than
// fs::DiskReserve free stops the archive (kNoSpace).
//
// Verify-only: the same reader can check an archive without writing anything (the packager's
// "inspect" uses it), so what is reported there is exactly what a launcher accepts.
//
// Platforms: portable. Entry paths may use "/" or "\"; each build writes its own separator.
// unpack200 is run through the Spawner (CreateProcessA on Windows, posix_spawn on POSIX).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/mixed_hash.h"
#include "fs/disk_space.h"
#include "pipeline/ring_buffer.h"
#include "pipeline/stages.h"

namespace ferrolan::archive {

class PublicKey;

inline constexpr int kCopyBufferSize = 0x100000;  // 1 MiB
inline constexpr int kNestedInputBufferId = 5;    // the in-step input of a ".p2.l2" entry
inline constexpr int kNestedInputCapacity = 1048576;
inline constexpr int kNestedDecodedCapacity = 102400;

/// How reading an archive (or one tail entry) ended.
enum class ArchiveStatus {
  kOk,             ///< written (or, verify-only, read) completely; verified when signed
  kRejected,       ///< refused: failure banner logged, destination emptied
  kWriteFailed,    ///< a file could not be written; the message is logged
  kToolFailed,     ///< the unpack200 tool could not be made a windowed program
  kTruncated,      ///< the input ended inside an entry; the message is logged
  kNoSpace,        ///< the destination's free space would fall below its reserve
  kDecoderFailed,  ///< the compressed stream is damaged and no signature vouched for the data
};

/// The free-space query the disk reserve uses; fs::QueryDiskSpace unless a test replaces it.
using DiskSpaceQuery = std::function<std::optional<fs::DiskSpace>(const std::string& folder)>;

/// What an archive is extracted for.
struct ArchiveJob {
  ArchiveJob() = default;
  explicit ArchiveJob(std::string folder) : destination(std::move(folder)) {}

  std::string destination;  ///< the folder the entries go to (unused when verifyOnly)
  bool verifyOnly = false;  ///< read, hash and check only: no file or folder is created
  /// The key that checks the signature (null: no key); none means the process-wide key.
  std::optional<const PublicKey*> key;
  /// Set for an archive nested in another: its packed files are not unpacked but handed back in
  /// ArchiveReport::packed, so that they also wait for the outer archive's signature.
  bool deferUnpack = false;
  /// Replaces the system's free-space query (tests); empty for the real one.
  DiskSpaceQuery diskSpace;
};

/// A pack200 entry written to disk and not yet unpacked.
struct PackedFile {
  std::string packed;  ///< the written file, the entry's path followed by ".p2"
  std::string target;  ///< the file unpack200 makes of it
};

/// Why an archive was rejected.
enum class Refusal {
  kNone,
  kUnsafePath,           ///< an entry path would leave the destination
  kPathTooLong,          ///< an entry path too long for the launcher's path buffers
  kBadLength,            ///< a length field that is not a plain number up to 2^31-1
  kUnsigned,             ///< no signature block although a key was imported
  kIncompleteSignature,  ///< a signature block without its fields
  kNoKey,                ///< a signature block but no key to check it with
  kBadSignature,         ///< the signature does not match
};

/// The files and folders an archive (or one tail entry) created, in the order of creation.
struct CreatedPaths {
  std::vector<std::string> files;
  std::vector<std::string> folders;
};

/// Removes what `created` lists, files first and then folders from the last created on, and
/// empties the lists. A folder that still holds something the archive did not create stays.
void DiscardCreated(CreatedPaths& created);

/// The outcome of one archive, with what it held.
struct ArchiveReport {
  ArchiveStatus status = ArchiveStatus::kOk;
  Refusal refusal = Refusal::kNone;  ///< set with kRejected
  int files = 0;
  int folders = 0;
  std::uint64_t hashedBytes = 0;   ///< the bytes before the signature block
  bool signatureBlock = false;     ///< a signature block was read
  std::int64_t signedLength = -1;  ///< the block's "Signature Length" field, -1 when absent
  bool decoderFailed = false;      ///< a nested decoder reported damaged compressed data
  std::string problem;             ///< why the archive was refused, in words
  /// The packed files, unpacked only once the archive is accepted; with deferUnpack they are
  /// handed back here instead.
  std::vector<PackedFile> packed;
  /// What the archive created; emptied (and removed from disk) when it fails.
  CreatedPaths created;
};

/// What ExtractArchive keeps across the entries of one archive.
struct ArchiveState {
  explicit ArchiveState(ArchiveJob job = {});
  ArchiveJob job;
  std::optional<std::string> signatureHex;  // the block's hex text
  MixedHashState hash;                      // every byte before the signature block
  pipeline::FieldCollector collector;       // the header fields of the current entry
  std::vector<char> copyBuffer;             // kCopyBufferSize bytes that carry content
  ArchiveReport report;
};

/// The outcome of one entry: go on with the next, the archive ended (the stream ended, also in
/// the middle of an entry header, or the signature block was read), or a failure.
enum class EntryResult {
  kNext,
  kEnd,
  kRejected,
  kWriteFailed,
  kToolFailed,
  kTruncated,  ///< the input ended after the entry's type field and before its last byte
  kNoSpace,    ///< the file would leave less free space than the reserve
};

/// Reads one entry from `input` and writes it under `destination`. With a state (an archive)
/// the bytes are hashed, the signature block is recognised and a packed entry is only
/// remembered for later; without one (a tail entry) none of this happens and a packed entry is
/// unpacked at once. A refused entry logs the failure banner and removes what the archive (with
/// a state) or the entry (without) created. Without a state, whatever the failed entry created
/// is removed before it returns.
EntryResult ExtractArchiveEntry(pipeline::RingBuffer& input, const std::string& destination,
                                ArchiveState* state);

/// Reads exactly one tail entry and writes it under `destination`, which must exist. Uses a
/// process-wide 1 MiB copy buffer; call it from one thread only (the main flow). kNext when the
/// entry was written, kEnd when the stream had ended before the entry began (the caller, who
/// knows which entries the payload must hold, decides whether that is a failure), else the
/// failure; an entry cut short by the end of the stream is kTruncated.
[[nodiscard]] EntryResult ExtractTailEntry(pipeline::RingBuffer& input,
                                           const std::string& destination);

/// Reads a whole archive until the end of the stream or its signature block, then checks the
/// signature; only an accepted archive has its packed files unpacked (kToolFailed when the
/// tool cannot be made a windowed program).
ArchiveReport ExtractArchive(pipeline::RingBuffer& input, const ArchiveJob& job);

/// Extracts the compressed archive (LZMA or xz) whose bytes `feed` hands over on the calling
/// thread: feed(buffer, capacity) returns the number of bytes it placed, or a negative number
/// at the end. A decoder and an unarchiver thread do the work in step with the feed. Once the
/// archive has ended `feed` is still drained (its bytes are only dropped), so a caller that
/// hashes what it feeds sees every byte; after a failure the feed stops at once.
ArchiveReport ExtractCompressedArchive(const std::function<int(char*, int)>& feed,
                                       const ArchiveJob& job);

/// ExtractCompressedArchive over `length` bytes of `file`, read from its current position.
ArchiveReport ExtractCompressedArchive(std::FILE* file, std::uint64_t length,
                                       const ArchiveJob& job);

/// The path of the JRE's unpack200 executable, set by the main flow before a JRE archive is
/// extracted. Empty until then (a type 2 entry then logs that unpack200 produced nothing).
void SetUnpack200Path(std::string path);
std::string Unpack200Path();

/// The UnArchiver stage: logs "[Streamer] [UnArchiver] Starting...\n", runs ExtractArchive,
/// closes `input` (so a decoder still writing bytes after the signature block is released),
/// and, when the archive was accepted, logs "[Streamer] [UnArchiver] Done.\n".
ArchiveReport RunUnArchiver(pipeline::RingBuffer& input, const ArchiveJob& job);

/// RunUnArchiver on its own thread. Join() returns 0 when the archive was accepted and 1
/// otherwise; `report` holds the whole outcome once the thread has been joined.
struct UnArchiverStage {
  pipeline::StageThread thread;
  std::shared_ptr<ArchiveReport> report;
};
UnArchiverStage StartUnArchiverStage(std::shared_ptr<pipeline::RingBuffer> input, ArchiveJob job);

}  // namespace ferrolan::archive
