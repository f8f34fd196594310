#include "archive/unarchiver.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <mutex>
#include <utility>

#include "archive/entry_format.h"
#include "archive/file_mode.h"
#include "archive/signature.h"
#include "fs/disk_space.h"
#include "fs/file_ops.h"
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

// While a file is written the free space is checked again after this many bytes: often enough
// that a disk filled by someone else is noticed early, rarely enough to cost nothing.
constexpr std::int64_t kSpaceCheckInterval = 4 * 1024 * 1024;

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

// What one ExtractArchiveEntry call works with besides the input: where files go, what has
// been created so far, and how free space is measured.
struct EntryContext {
  const std::string& destination;
  ArchiveState* state;
  CreatedPaths& created;
  const DiskSpaceQuery& diskSpace;
};

// Refuses the whole archive over one entry: the reason, then the failure banner, between whose
// star lines what the archive created is removed.
EntryResult RejectEntry(Refusal refusal, const char* what, const std::string& text,
                        const EntryContext& context) {
  LogPrintf("[Unarchiver] ERROR - %s: %s\n", what, text.c_str());
  if (context.state != nullptr) {
    context.state->report.refusal = refusal;
    context.state->report.problem = std::string(what) + ": " + text;
  }
  RejectArchive([&] { DiscardCreated(context.created); });
  return EntryResult::kRejected;
}

void SetProblem(ArchiveState* state, std::string problem) {
  if (state != nullptr && state->report.problem.empty()) state->report.problem = std::move(problem);
}

// The input ended after an entry had begun: whatever follows is missing, so this is never the
// archive's end.
EntryResult Truncated(const std::string& entry, ArchiveState* state) {
  LogPrintf("[Unarchiver] ERROR - the input ends inside the entry %s\n", entry.c_str());
  SetProblem(state, "the input ends inside the entry " + entry);
  return EntryResult::kTruncated;
}

// True when `due` more bytes can be written under the destination and still leave its reserve
// free. A file system that cannot tell its free space is not held up.
bool SpaceFor(std::int64_t due, const EntryContext& context) {
  const std::optional<fs::DiskSpace> space = context.diskSpace
                                                 ? context.diskSpace(context.destination)
                                                 : fs::QueryDiskSpace(context.destination);
  if (!space) return true;
  const std::uint64_t reserve = fs::DiskReserve(*space);
  const auto needed = static_cast<std::uint64_t>(due);
  if (space->available >= reserve && space->available - reserve >= needed) return true;
  LogPrintf(
      "\t[Unarchiver] *************************** Unable to extract archive file. Not enough "
      "free space: %llu bytes free, %llu bytes to write, %llu bytes kept in reserve.\n",
      static_cast<unsigned long long>(space->available), static_cast<unsigned long long>(needed),
      static_cast<unsigned long long>(reserve));
  SetProblem(context.state, "not enough free space on the destination");
  return false;
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
    case ArchiveStatus::kTruncated:
    case ArchiveStatus::kDecoderFailed:
      return EntryResult::kTruncated;
    case ArchiveStatus::kNoSpace:
      return EntryResult::kNoSpace;
  }
  return EntryResult::kRejected;
}

std::optional<std::string> ReadField(RingBuffer& input, const char* label, int maximum,
                                     ArchiveState* state) {
  return pipeline::RingBuffer_readUntil(input, label, maximum,
                                        state != nullptr ? &state->collector : nullptr);
}

// Creates a folder unless it exists, and records it when it was created here.
void CreateRecordedFolder(const std::string& folder, CreatedPaths& created) {
  if (fs::IsFolder(folder)) return;
  if (fs::CreateFolder(folder) == 0) created.folders.push_back(folder);
}

// Creates every missing parent of `relative` under `destination`, one level at a time.
void CreateParents(const std::string& destination, const std::string& relative,
                   CreatedPaths& created) {
  const char separator = fs::PathSeparator();
  for (std::size_t at = relative.find(separator); at != std::string::npos;
       at = relative.find(separator, at + 1)) {
    std::string folder = destination;
    fs::PathJoin(folder, relative.substr(0, at));
    CreateRecordedFolder(folder, created);
  }
}

// Moves `length` content bytes into a nested extraction and waits for it. Every byte is still
// read from `input` and hashed even when the nested archive ends early, so the outer archive's
// signature covers exactly what it carries; a nested archive that fails fails the outer one.
EntryResult ExtractInStep(RingBuffer& input, std::int32_t length, const std::string& shown,
                          const EntryContext& context) {
  const std::string& destination = context.destination;
  ArchiveState* state = context.state;
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
  job.diskSpace = context.diskSpace;
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
  if (due > 0) {
    // The nested archive was whole, but the entry that carries it is not: the input ended
    // early, and the entries after this one are missing.
    DiscardCreated(nested.created);
    return Truncated(shown, state);
  }
  std::ranges::move(nested.created.files, std::back_inserter(context.created.files));
  std::ranges::move(nested.created.folders, std::back_inserter(context.created.folders));
  if (state != nullptr) {
    state->report.files += nested.files;
    state->report.folders += nested.folders;
    std::ranges::move(nested.packed, std::back_inserter(state->report.packed));
  }
  LogPrintf("\t[Unarchiver] .p2.l2 in sync unarchive complete.\n");
  return EntryResult::kNext;
}

EntryResult CannotWrite(const char* why, ArchiveState* state) {
  LogPrintf("\t[Unarchiver] *************************** Unable to extract archive file. %s\n", why);
  SetProblem(state, why);
  return EntryResult::kWriteFailed;
}

// Reads `length` content bytes into the hash only.
EntryResult HashContent(RingBuffer& input, std::int32_t length, const std::string& shown,
                        ArchiveState* state, std::vector<char>& buffer) {
  for (std::int32_t due = length; due > 0;) {
    const int want = static_cast<int>(std::min<std::int64_t>(due, std::ssize(buffer)));
    const int got = pipeline::RingBuffer_read(input, buffer.data(), want);
    if (got < 0) return Truncated(shown, state);
    Hash(state, buffer.data(), got);
    due -= got;
  }
  return EntryResult::kNext;
}

EntryResult CopyToFile(RingBuffer& input, std::int32_t length, const std::string& path,
                       const std::string& shown, const EntryContext& context,
                       std::vector<char>& buffer) {
  ArchiveState* state = context.state;
  if (!SpaceFor(length, context)) return EntryResult::kNoSpace;
  fs::OwnedFile file = fs::OpenFile(path, "wb");
  if (!file) return CannotWrite("Unable to open file for writing.", state);
  context.created.files.push_back(path);
  LogPrintf("\t[Unarchiver] Extracting to file %s (length:%ld)\n", shown.c_str(),
            static_cast<long>(length));
  std::string head;  // the first bytes, which tell whether the file is a program
  std::int64_t sinceCheck = 0;
  for (std::int32_t due = length; due > 0;) {
    if (sinceCheck >= kSpaceCheckInterval) {
      sinceCheck = 0;
      if (!SpaceFor(due, context)) return EntryResult::kNoSpace;
    }
    const int want = static_cast<int>(std::min<std::int64_t>(due, std::ssize(buffer)));
    const int got = pipeline::RingBuffer_read(input, buffer.data(), want);
    // The input ended inside the content: the entries after this one are missing too.
    if (got < 0) return Truncated(shown, state);
    if (head.size() < 4)
      head.append(buffer.data(),
                  std::min<std::size_t>(4 - head.size(), static_cast<std::size_t>(got)));
    if (std::fwrite(buffer.data(), 1, static_cast<std::size_t>(got), file.get()) !=
        static_cast<std::size_t>(got)) {
      // A file that silently misses bytes would be taken for a good install.
      return CannotWrite("Unable to write to file.", state);
    }
    Hash(state, buffer.data(), got);
    due -= got;
    sinceCheck += got;
  }
  if (std::fflush(file.get()) != 0 || std::fclose(file.release()) != 0)
    return CannotWrite("Unable to write to file.", state);
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
bool UnpackAll(const std::vector<PackedFile>& files, CreatedPaths& created) {
  for (const PackedFile& file : files) {
    created.files.push_back(file.target);
    if (Unpack200(file.packed, file.target) != EntryResult::kNext) return false;
  }
  return true;
}

bool Failed(EntryResult result) {
  return result != EntryResult::kNext && result != EntryResult::kEnd;
}

EntryResult ExtractEntry(RingBuffer& input, const EntryContext& context);

}  // namespace

ArchiveState::ArchiveState(ArchiveJob archiveJob)
    : job(std::move(archiveJob)), copyBuffer(kCopyBufferSize) {
  MixedHash_init(&hash);
}

void DiscardCreated(CreatedPaths& created) {
  if (created.files.empty() && created.folders.empty()) return;
  LogPrintf("[Unarchiver] Removing the %d files and %d folders of the failed archive\n",
            static_cast<int>(created.files.size()), static_cast<int>(created.folders.size()));
  for (auto file = created.files.rbegin(); file != created.files.rend(); ++file) {
    if (!fs::RemoveFile(*file) && fs::FileExists(*file) != 0)
      LogPrintf("Failed to delete file %s\n", file->c_str());
  }
  for (auto folder = created.folders.rbegin(); folder != created.folders.rend(); ++folder) {
    if (!fs::RemoveEmptyFolder(*folder))
      LogPrintf("[Unarchiver] Kept the folder %s (not empty)\n", folder->c_str());
  }
  created.files.clear();
  created.folders.clear();
}

EntryResult ExtractArchiveEntry(RingBuffer& input, const std::string& destination,
                                ArchiveState* state) {
  static const DiskSpaceQuery kSystemSpace;
  if (state != nullptr) {
    return ExtractEntry(
        input, EntryContext{destination, state, state->report.created, state->job.diskSpace});
  }
  // A tail entry has no archive around it to clean up after it: it takes back its own files.
  CreatedPaths created;
  const EntryResult result =
      ExtractEntry(input, EntryContext{destination, nullptr, created, kSystemSpace});
  if (Failed(result)) DiscardCreated(created);
  return result;
}

namespace {

EntryResult ExtractEntry(RingBuffer& input, const EntryContext& context) {
  const std::string& destination = context.destination;
  ArchiveState* state = context.state;
  if (state != nullptr) state->collector.Clear();  // leftovers are not hashed

  // The stream ending anywhere in an entry header is the end of the archive.
  const std::optional<std::string> typeText =
      ReadField(input, "Archive File Type", kTypeFieldMax, state);
  if (!typeText || typeText->empty()) {
    LogPrintf("[Unarchiver] WARNING. EOF encountered.\n");
    return EntryResult::kEnd;
  }
  // Once an entry has begun, the stream ending is no clean end: the entry is cut short.
  const std::optional<std::string> path =
      ReadField(input, "Archive File Path", kPathFieldMax, state);
  if (!path) return Truncated("header (type " + *typeText + ")", state);
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
    return RejectEntry(Refusal::kUnsafePath, "entry path leaves the destination", *path, context);
  if (AliasesOnThisSystem(*path))
    return RejectEntry(Refusal::kUnsafePath, "entry path names a device or another file", *path,
                       context);

  std::string target = destination;
  fs::PathJoin(target, relative);
  if (type == static_cast<long>(EntryType::kPack200)) {
    target += ".p2";
    relative += ".p2";
  }
  if (target.size() >= kMaxDestinationPath)
    return RejectEntry(Refusal::kPathTooLong, "entry path too long", *path, context);
  if (!signatureBlock && Writing(state)) CreateParents(destination, relative, context.created);

  if (type == static_cast<long>(EntryType::kFolder)) {
    if (Writing(state)) CreateRecordedFolder(target, context.created);
    LogPrintf("\t[Unarchiver] Created folder %s\n", relative.c_str());
    HashHeader(state);
    if (state != nullptr) ++state->report.folders;
    return EntryResult::kNext;
  }

  const std::optional<std::string> lengthText =
      ReadField(input, "Archive File Length", kLengthFieldMax, state);
  if (!lengthText) return Truncated(relative, state);
  const std::optional<std::int32_t> length = ParseEntryLength(*lengthText);
  if (!length) return RejectEntry(Refusal::kBadLength, "bad entry length", *lengthText, context);

  // An empty entry is an empty file whatever its name, the signature block's included: it is
  // hashed like any file, and the real block must still follow.
  if (*length == 0) {
    LogPrintf("\t[Unarchiver] Skipping empty file %s\n", relative.c_str());
    HashHeader(state);
    if (state != nullptr) ++state->report.files;
    return EntryResult::kNext;
  }
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

  HashHeader(state);
  if (target.ends_with("p2.l2")) return ExtractInStep(input, *length, relative, context);

  std::vector<char>& buffer = state != nullptr ? state->copyBuffer : TailCopyBuffer();
  if (state != nullptr) ++state->report.files;
  if (!Writing(state)) return HashContent(input, *length, relative, state, buffer);
  const EntryResult copied = CopyToFile(input, *length, target, relative, context, buffer);
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

}  // namespace

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
  // Whatever ends the archive early, none of its files stay (a refusal has removed them
  // already, inside its banner).
  const auto fail = [&](ArchiveStatus status) {
    report.status = status;
    DiscardCreated(report.created);
    return report;
  };
  switch (step) {
    case EntryResult::kRejected:
      return fail(ArchiveStatus::kRejected);
    case EntryResult::kWriteFailed:
      return fail(ArchiveStatus::kWriteFailed);
    case EntryResult::kToolFailed:
      return fail(ArchiveStatus::kToolFailed);
    case EntryResult::kTruncated:
      return fail(ArchiveStatus::kTruncated);
    case EntryResult::kNoSpace:
      return fail(ArchiveStatus::kNoSpace);
    case EntryResult::kNext:
    case EntryResult::kEnd:
      break;
  }

  const PublicKey* key = job.key ? *job.key : ProcessPublicKey();
  const auto reject = [&](Refusal refusal, const char* problem) {
    report.status = ArchiveStatus::kRejected;
    report.refusal = refusal;
    report.problem = problem;
    RejectArchive([&] { DiscardCreated(report.created); });
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
    const bool unpacked = UnpackAll(report.packed, report.created);
    report.packed.clear();
    if (!unpacked) return fail(ArchiveStatus::kToolFailed);
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
  if (report.decoderFailed && report.status == ArchiveStatus::kOk && !report.signatureBlock) {
    // The data ended early because it is damaged, and no signature says that what arrived is
    // all there was: the archive cannot be trusted to be whole.
    LogPrintf("[Unarchiver] ERROR - the compressed archive is damaged\n");
    report.status = ArchiveStatus::kDecoderFailed;
    report.problem = "the compressed archive is damaged";
    DiscardCreated(report.created);
  }
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
