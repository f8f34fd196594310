#include "archive/unarchiver.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <mutex>
#include <utility>

#include "archive/entry_format.h"
#include "archive/file_mode.h"
#include "archive/signature.h"
#include "fs/path.h"
#include "fs/pe_patch.h"
#include "log/log.h"
#include "process/spawner.h"

namespace ferrolan::archive {
namespace {

using log::LogPrintf;
using pipeline::RingBuffer;

// The launcher's path buffers hold 5000 characters. A destination path that long is no real
// install path, so the archive is refused rather than written somewhere unexpected.
constexpr std::size_t kMaxDestinationPath = 5000;

struct ProcessState {
  std::mutex lock;
  std::string unpack200Path;
  bool unpack200Patched = false;  // the subsystem patch is applied once per process
};
ProcessState& Process() {
  static ProcessState state;
  return state;
}

std::vector<char>& TailCopyBuffer() {
  static std::vector<char> buffer(kCopyBufferSize);
  return buffer;
}

// Refuses the whole archive over one entry: the reason, then the failure banner.
EntryResult RejectEntry(Refusal refusal, const char* what, const std::string& text,
                        const std::string& destination, ArchiveState* state) {
  LogPrintf("[Unarchiver] ERROR - %s: %s\n", what, text.c_str());
  if (state != nullptr) {
    state->report.refusal = refusal;
    state->report.problem = std::string(what) + ": " + text;
  }
  RejectArchive(state != nullptr && state->job.verifyOnly ? std::string() : destination);
  return EntryResult::kRejected;
}

void Hash(ArchiveState* state, const char* bytes, int length) {
  if (state == nullptr || length <= 0) return;
  MixedHash_process(&state->hash, reinterpret_cast<const unsigned char*>(bytes),
                    static_cast<unsigned long>(length));
  state->report.hashedBytes += static_cast<std::uint64_t>(length);
}

// The collected header fields of an entry go into the hash (and the byte count).
void HashHeader(ArchiveState* state) {
  if (state == nullptr) return;
  for (const std::string& block : state->collector.blocks)
    state->report.hashedBytes += block.size();
  HashFields(state->collector, &state->hash);
}

bool Writing(const ArchiveState* state) { return state == nullptr || !state->job.verifyOnly; }

EntryResult ToEntryResult(ArchiveStatus status) {
  switch (status) {
    case ArchiveStatus::kOk:
      return EntryResult::kNext;
    case ArchiveStatus::kRejected:
      return EntryResult::kRejected;
    case ArchiveStatus::kWriteFailed:
      return EntryResult::kWriteFailed;
    case ArchiveStatus::kToolFailed:
      return EntryResult::kToolFailed;
  }
  return EntryResult::kRejected;
}

std::optional<std::string> ReadField(RingBuffer& input, const char* label, int maximum,
                                     ArchiveState* state) {
  return pipeline::RingBuffer_readUntil(input, label, maximum,
                                        state != nullptr ? &state->collector : nullptr);
}

// Creates every missing parent of `relative` under `destination`, one level at a time.
void CreateParents(const std::string& destination, const std::string& relative) {
  const char separator = fs::PathSeparator();
  for (std::size_t at = relative.find(separator); at != std::string::npos;
       at = relative.find(separator, at + 1)) {
    std::string folder = destination;
    fs::PathJoin(folder, relative.substr(0, at));
    fs::CreateFolder(folder);
  }
}

// Moves `length` content bytes into a nested extraction and waits for it. Every byte is still
// read from `input` and hashed even when the nested archive ends early, so the outer archive's
// signature covers exactly what it carries; a nested archive that fails fails the outer one.
EntryResult ExtractInStep(RingBuffer& input, std::int32_t length, const std::string& destination,
                          ArchiveState* state) {
  LogPrintf("\t[Unarchiver] .p2.l2 detected. Performing in sync unarchive.\n");
  std::int32_t due = length;
  auto feed = [&](char* out, int capacity) {
    if (due <= 0) return -1;
    const int want = static_cast<int>(std::min<std::int64_t>(due, capacity));
    const int got = pipeline::RingBuffer_read(input, out, want);
    if (got < 0) return -1;
    Hash(state, out, got);
    due -= got;
    return got;
  };
  ArchiveJob job;
  if (state != nullptr) {
    job = state->job;
    // The tool that unpacks the nested archive's packed files may come from the outer archive,
    // so they wait for the outer signature too.
    job.deferUnpack = true;
  }
  job.destination = destination;
  ArchiveReport nested = ExtractCompressedArchive(feed, job);
  if (nested.status != ArchiveStatus::kOk) {
    if (state != nullptr) {
      state->report.refusal = nested.refusal;
      state->report.problem = nested.problem;
    }
    return ToEntryResult(nested.status);
  }
  if (state != nullptr) {
    state->report.files += nested.files;
    state->report.folders += nested.folders;
    std::ranges::move(nested.packed, std::back_inserter(state->report.packed));
  }
  LogPrintf("\t[Unarchiver] .p2.l2 in sync unarchive complete.\n");
  return EntryResult::kNext;
}

EntryResult CannotWrite(const char* why) {
  LogPrintf("\t[Unarchiver] *************************** Unable to extract archive file. %s\n", why);
  return EntryResult::kWriteFailed;
}

// Reads `length` content bytes into the hash only.
void HashContent(RingBuffer& input, std::int32_t length, ArchiveState* state,
                 std::vector<char>& buffer) {
  for (std::int32_t due = length; due > 0;) {
    const int want = static_cast<int>(std::min<std::int64_t>(due, std::ssize(buffer)));
    const int got = pipeline::RingBuffer_read(input, buffer.data(), want);
    if (got < 0) break;
    Hash(state, buffer.data(), got);
    due -= got;
  }
}

EntryResult CopyToFile(RingBuffer& input, std::int32_t length, const std::string& path,
                       const std::string& shown, ArchiveState* state, std::vector<char>& buffer) {
  fs::OwnedFile file = fs::OpenFile(path, "wb");
  if (!file) return CannotWrite("Unable to open file for writing.");
  LogPrintf("\t[Unarchiver] Extracting to file %s (length:%ld)\n", shown.c_str(),
            static_cast<long>(length));
  std::string head;  // the first bytes, which tell whether the file is a program
  for (std::int32_t due = length; due > 0;) {
    const int want = static_cast<int>(std::min<std::int64_t>(due, std::ssize(buffer)));
    const int got = pipeline::RingBuffer_read(input, buffer.data(), want);
    if (got < 0) break;  // the input ended inside the content: keep what arrived
    if (head.size() < 4)
      head.append(buffer.data(),
                  std::min<std::size_t>(4 - head.size(), static_cast<std::size_t>(got)));
    if (std::fwrite(buffer.data(), 1, static_cast<std::size_t>(got), file.get()) !=
        static_cast<std::size_t>(got)) {
      // A file that silently misses bytes would be taken for a good install.
      return CannotWrite("Unable to write to file.");
    }
    Hash(state, buffer.data(), got);
    due -= got;
  }
  if (std::fflush(file.get()) != 0 || std::fclose(file.release()) != 0)
    return CannotWrite("Unable to write to file.");
  MarkExecutableIfProgram(path, head);
  LogPrintf("[Unarchiver] Extracted %s length:%d\n", shown.c_str(), static_cast<int>(length));
  return EntryResult::kNext;
}

EntryResult Unpack200(const std::string& packed, const std::string& target) {
  LogPrintf("\t[Unarchiver] Requires unpacking200...\n");
  std::string tool;
  {
    // unpack200 is a console program; made windowed, it runs without flashing a console.
    std::lock_guard<std::mutex> guard(Process().lock);
    tool = Process().unpack200Path;
    if (!Process().unpack200Patched && !tool.empty()) {
      Process().unpack200Patched = true;
      if (!fs::PatchWindowsSubsystem(tool)) return EntryResult::kToolFailed;
    }
  }
  process::Spawner spawner = process::SpawnerCreate();
  process::SpawnerSetExe(spawner, tool);
  process::SpawnerAppend(spawner, packed);
  process::SpawnerAppend(spawner, target);
  process::runSpawnerAndWait(spawner);
  if (std::FILE* check = std::fopen(target.c_str(), "rb")) {
    std::fclose(check);
  } else {
    LogPrintf("\t[Unarchiver] ERROR: unpack200 (%s) does not exist!\n", target.c_str());
  }
  std::remove(packed.c_str());
  return EntryResult::kNext;
}

// Unpacks an accepted archive's packed files in archive order; stops at a tool that cannot be
// made a windowed program.
bool UnpackAll(const std::vector<PackedFile>& files) {
  for (const PackedFile& file : files)
    if (Unpack200(file.packed, file.target) != EntryResult::kNext) return false;
  return true;
}

}  // namespace

ArchiveState::ArchiveState(ArchiveJob archiveJob)
    : job(std::move(archiveJob)), copyBuffer(kCopyBufferSize) {
  MixedHash_init(&hash);
}

EntryResult ExtractArchiveEntry(RingBuffer& input, const std::string& destination,
                                ArchiveState* state) {
  if (state != nullptr) state->collector.Clear();  // leftovers are not hashed

  // The stream ending anywhere in an entry header is the end of the archive.
  const auto endOfArchive = [] {
    LogPrintf("[Unarchiver] WARNING. EOF encountered.\n");
    return EntryResult::kEnd;
  };
  const std::optional<std::string> typeText =
      ReadField(input, "Archive File Type", kTypeFieldMax, state);
  if (!typeText || typeText->empty()) return endOfArchive();
  const std::optional<std::string> path =
      ReadField(input, "Archive File Path", kPathFieldMax, state);
  if (!path) return endOfArchive();
  bool signatureBlock = false;
  if (path->starts_with(kSpecialBlockPrefix)) {
    LogPrintf("[Unarchiver] Found special block %s\n", path->c_str());
    signatureBlock = state != nullptr && std::string_view(*path).substr(
                                             kSpecialBlockPrefix.size()) == kSignatureBlockName;
  }

  std::string relative = *path;
  fs::NormalizeSeparators(relative);
  const long type = ParseEntryType(*typeText);
  LogPrintf("[Unarchiver] Extracting %s (::%ld from %s)\n", relative.c_str(), type,
            typeText->c_str());
  if (!IsSafeEntryPath(*path))
    return RejectEntry(Refusal::kUnsafePath, "entry path leaves the destination", *path,
                       destination, state);

  std::string target = destination;
  fs::PathJoin(target, relative);
  if (type == static_cast<long>(EntryType::kPack200)) {
    target += ".p2";
    relative += ".p2";
  }
  if (target.size() >= kMaxDestinationPath)
    return RejectEntry(Refusal::kPathTooLong, "entry path too long", *path, destination, state);
  if (!signatureBlock && Writing(state)) CreateParents(destination, relative);

  if (type == static_cast<long>(EntryType::kFolder)) {
    if (Writing(state)) fs::CreateFolder(target);
    LogPrintf("\t[Unarchiver] Created folder %s\n", relative.c_str());
    HashHeader(state);
    if (state != nullptr) ++state->report.folders;
    return EntryResult::kNext;
  }

  const std::optional<std::string> lengthText =
      ReadField(input, "Archive File Length", kLengthFieldMax, state);
  if (!lengthText) return endOfArchive();
  const std::optional<std::int32_t> length = ParseEntryLength(*lengthText);
  if (!length)
    return RejectEntry(Refusal::kBadLength, "bad entry length", *lengthText, destination, state);

  if (signatureBlock) {
    // The block's own fields are never hashed, its fields 4 and 5 are not even collected.
    state->collector.Clear();
    state->report.signatureBlock = true;
    const std::optional<std::string> covered =
        pipeline::RingBuffer_readUntil(input, "Signature Length", kLengthFieldMax, nullptr);
    const std::optional<std::int32_t> coveredValue =
        covered ? ParseEntryLength(*covered) : std::nullopt;
    state->report.signedLength = coveredValue ? *coveredValue : -1;
    state->signatureHex =
        pipeline::RingBuffer_readUntil(input, "Signature Hex", kSignatureHexMax, nullptr);
    return EntryResult::kEnd;
  }

  if (*length == 0) {
    LogPrintf("\t[Unarchiver] Skipping empty file %s\n", relative.c_str());
    HashHeader(state);
    if (state != nullptr) ++state->report.files;
    return EntryResult::kNext;
  }
  HashHeader(state);
  if (target.ends_with("p2.l2")) return ExtractInStep(input, *length, destination, state);

  std::vector<char>& buffer = state != nullptr ? state->copyBuffer : TailCopyBuffer();
  if (state != nullptr) ++state->report.files;
  if (!Writing(state)) {
    HashContent(input, *length, state, buffer);
    return EntryResult::kNext;
  }
  const EntryResult copied = CopyToFile(input, *length, target, relative, state, buffer);
  if (copied != EntryResult::kNext) return copied;
  if (type == static_cast<long>(EntryType::kPack200)) {
    std::string unpacked = target.substr(0, target.size() - 3);
    if (state != nullptr) {
      // Nothing of an archive runs before it has been accepted: ExtractArchive unpacks it then.
      state->report.packed.push_back({target, std::move(unpacked)});
      return EntryResult::kNext;
    }
    // A tail entry has no signature to wait for: the tail is part of the launcher's own file,
    // as trusted as the code reading it, and nothing checks it later, so deferring the step
    // would gain nothing. Refusing the entry would break payloads that worked before, for no
    // gain in safety either. The packager writes only plain files and nested archives into the
    // tail, and a nested archive is extracted with a state of its own, whose packed files wait
    // for its signature.
    return Unpack200(target, unpacked);
  }
  return EntryResult::kNext;
}

EntryResult ExtractTailEntry(RingBuffer& input, const std::string& destination) {
  return ExtractArchiveEntry(input, destination, nullptr);
}

ArchiveReport ExtractArchive(RingBuffer& input, const ArchiveJob& job) {
  LogPrintf("[Unarchiver] [START] Extracting archive %s\n", job.destination.c_str());
  std::fflush(stdout);
  RegisterArchiveHashes();
  auto state = std::make_unique<ArchiveState>(job);
  ArchiveReport& report = state->report;
  EntryResult step = EntryResult::kNext;
  while ((step = ExtractArchiveEntry(input, job.destination, state.get())) == EntryResult::kNext) {
  }
  switch (step) {
    case EntryResult::kRejected:
      report.status = ArchiveStatus::kRejected;
      return report;
    case EntryResult::kWriteFailed:
      report.status = ArchiveStatus::kWriteFailed;
      return report;
    case EntryResult::kToolFailed:
      report.status = ArchiveStatus::kToolFailed;
      return report;
    case EntryResult::kNext:
    case EntryResult::kEnd:
      break;
  }

  const PublicKey* key = job.key ? *job.key : ProcessPublicKey();
  const auto reject = [&](Refusal refusal, const char* problem) {
    report.status = ArchiveStatus::kRejected;
    report.refusal = refusal;
    report.problem = problem;
    RejectArchive(job.verifyOnly ? std::string() : job.destination);
    return report;
  };
  if (!report.signatureBlock && key != nullptr) {
    // With a key every archive must be signed; otherwise anyone could strip the block.
    LogPrintf("[Unarchiver] ERROR - the archive carries no signature block.\n");
    return reject(Refusal::kUnsigned, "the archive carries no signature block");
  }
  if (report.signatureBlock && (report.signedLength < 0 || !state->signatureHex)) {
    // A block header without its fields is no signature; accepting it unchecked would let a
    // truncated block switch the check off.
    LogPrintf("[Unarchiver] ERROR - the signature block is incomplete.\n");
    return reject(Refusal::kIncompleteSignature, "the signature block is incomplete");
  }
  if (report.signatureBlock && !VerifyArchiveSignature(state->hash, *state->signatureHex, key)) {
    return key == nullptr ? reject(Refusal::kNoKey, "no public key to check the signature with")
                          : reject(Refusal::kBadSignature, "the signature does not match");
  }
  // Accepted: only now may a program run on its files.
  if (!job.deferUnpack) {
    const bool unpacked = UnpackAll(report.packed);
    report.packed.clear();
    if (!unpacked) {
      report.status = ArchiveStatus::kToolFailed;
      return report;
    }
  }
  LogPrintf("[Unarchiver] [END] Extracting archive %s\n", job.destination.c_str());
  return report;
}

ArchiveReport ExtractCompressedArchive(const std::function<int(char*, int)>& feed,
                                       const ArchiveJob& job) {
  auto compressed = pipeline::RingBuffer_create(kNestedInputBufferId, kNestedInputCapacity);
  auto decoded = pipeline::RingBuffer_create(kNestedInputBufferId, kNestedDecodedCapacity);
  pipeline::StageThread decoder = pipeline::StartUnLZMAerStage(compressed, decoded);
  UnArchiverStage unarchiver = StartUnArchiverStage(decoded, job);

  std::vector<char> chunk(pipeline::kStageChunk);
  bool forwarding = true;
  for (int got = feed(chunk.data(), pipeline::kStageChunk); got >= 0;
       got = feed(chunk.data(), pipeline::kStageChunk)) {
    if (!forwarding || pipeline::RingBuffer_write(*compressed, chunk.data(), got) >= 0) continue;
    // The archive has ended (or failed): a failure needs none of the rest, a complete archive
    // still has the rest of its bytes drained through the feed.
    forwarding = false;
    if (unarchiver.thread.Join() != 0) break;
  }
  // The end of the feed is the end of the compressed stream: without it an archive that is cut
  // short would leave its decoder waiting for bytes that never come.
  pipeline::RingBuffer_close(*compressed);
  unarchiver.thread.Join();
  ArchiveReport report = *unarchiver.report;
  report.decoderFailed = decoder.Join() != 0;
  return report;
}

ArchiveReport ExtractCompressedArchive(std::FILE* file, std::uint64_t length,
                                       const ArchiveJob& job) {
  std::uint64_t due = length;
  return ExtractCompressedArchive(
      [&](char* out, int capacity) {
        if (due == 0) return -1;
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(due, static_cast<std::uint64_t>(capacity)));
        const std::size_t got = std::fread(out, 1, want, file);
        if (got == 0) return -1;  // the file is shorter than announced
        due -= got;
        return static_cast<int>(got);
      },
      job);
}

void SetUnpack200Path(std::string path) {
  std::lock_guard<std::mutex> guard(Process().lock);
  Process().unpack200Path = std::move(path);
}

std::string Unpack200Path() {
  std::lock_guard<std::mutex> guard(Process().lock);
  return Process().unpack200Path;
}

ArchiveReport RunUnArchiver(RingBuffer& input, const ArchiveJob& job) {
  LogPrintf("[Streamer] [UnArchiver] Starting...\n");
  ArchiveReport report = ExtractArchive(input, job);
  pipeline::RingBuffer_close(input);
  if (report.status == ArchiveStatus::kOk) LogPrintf("[Streamer] [UnArchiver] Done.\n");
  return report;
}

UnArchiverStage StartUnArchiverStage(std::shared_ptr<RingBuffer> input, ArchiveJob job) {
  RingBuffer* raw = input.get();
  auto report = std::make_shared<ArchiveReport>();
  pipeline::StageThread thread(
      [raw, report, job = std::move(job)] {
        *report = RunUnArchiver(*raw, job);
        return report->status == ArchiveStatus::kOk ? 0 : 1;
      },
      {std::move(input)});
  return UnArchiverStage{std::move(thread), std::move(report)};
}

}  // namespace ferrolan::archive
