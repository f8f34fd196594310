#include "archive/unarchiver.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <utility>

#include "archive/entry_format.h"
#include "archive/file_mode.h"
#include "archive/signature.h"
#include "fs/path.h"
#include "fs/pe_patch.h"
#include "launch/spawner.h"
#include "log/log.h"

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

[[noreturn]] void RejectEntry(const char* what, const std::string& text,
                              const std::string& destination) {
  LogPrintf("[Unarchiver] ERROR - %s: %s\n", what, text.c_str());
  RejectArchive(destination);
}

void Hash(ArchiveState* state, const char* bytes, int length) {
  if (state != nullptr && length > 0)
    MixedHash_process(&state->hash, reinterpret_cast<const unsigned char*>(bytes),
                      static_cast<unsigned long>(length));
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
// read from `input` and hashed even when the nested decoder stops early, so the outer archive's
// signature covers exactly what it carries.
void ExtractInStep(RingBuffer& input, std::int32_t length, const std::string& destination,
                   ArchiveState* state, std::vector<char>& buffer) {
  LogPrintf("\t[Unarchiver] .p2.l2 detected. Performing in sync unarchive.\n");
  auto nestedInput = pipeline::RingBuffer_create(kNestedInputBufferId, kNestedInputCapacity);
  NestedExtraction nested = StartNestedExtraction(nestedInput, destination);
  bool forwarding = true;
  for (std::int32_t due = length; due > 0;) {
    const int want = static_cast<int>(std::min<std::int64_t>(due, buffer.size()));
    const int got = pipeline::RingBuffer_read(input, buffer.data(), want);
    if (got < 0) break;
    if (forwarding && pipeline::RingBuffer_write(*nestedInput, buffer.data(), got) < 0)
      forwarding = false;
    Hash(state, buffer.data(), got);
    due -= got;
  }
  // The end of the content is the end of the nested stream: without it a nested archive that
  // is cut short would leave its decoder waiting for bytes that never come.
  pipeline::RingBuffer_close(*nestedInput);
  nested.unarchiver.Join();
  LogPrintf("\t[Unarchiver] .p2.l2 in sync unarchive complete.\n");
}

[[noreturn]] void CannotWrite(const char* why) {
  LogPrintf("\t[Unarchiver] *************************** Unable to extract archive file. %s\n", why);
  log::EndProcess(1);
}

void CopyToFile(RingBuffer& input, std::int32_t length, const std::string& path,
                const std::string& shown, ArchiveState* state, std::vector<char>& buffer) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                       &std::fclose);
  if (!file) CannotWrite("Unable to open file for writing.");
  LogPrintf("\t[Unarchiver] Extracting to file %s (length:%ld)\n", shown.c_str(),
            static_cast<long>(length));
  std::string head;  // the first bytes, which tell whether the file is a program
  for (std::int32_t due = length; due > 0;) {
    const int want = static_cast<int>(std::min<std::int64_t>(due, buffer.size()));
    const int got = pipeline::RingBuffer_read(input, buffer.data(), want);
    if (got < 0) break;  // the input ended inside the content: keep what arrived
    if (head.size() < 4)
      head.append(buffer.data(),
                  std::min<std::size_t>(4 - head.size(), static_cast<std::size_t>(got)));
    if (std::fwrite(buffer.data(), 1, static_cast<std::size_t>(got), file.get()) !=
        static_cast<std::size_t>(got)) {
      // A file that silently misses bytes would be taken for a good install.
      CannotWrite("Unable to write to file.");
    }
    Hash(state, buffer.data(), got);
    due -= got;
  }
  if (std::fflush(file.get()) != 0 || std::fclose(file.release()) != 0)
    CannotWrite("Unable to write to file.");
  MarkExecutableIfProgram(path, head);
  LogPrintf("[Unarchiver] Extracted %s length:%d\n", shown.c_str(), static_cast<int>(length));
}

void Unpack200(const std::string& packed, const std::string& target) {
  LogPrintf("\t[Unarchiver] Requires unpacking200...\n");
  std::string tool;
  {
    // unpack200 is a console program; made windowed, it runs without flashing a console.
    std::lock_guard<std::mutex> guard(Process().lock);
    tool = Process().unpack200Path;
    if (!Process().unpack200Patched && !tool.empty()) {
      Process().unpack200Patched = true;
      fs::PatchWindowsSubsystem(tool);
    }
  }
  launch::Spawner spawner = launch::SpawnerCreate();
  launch::SpawnerSetExe(spawner, tool);
  launch::SpawnerAppend(spawner, packed);
  launch::SpawnerAppend(spawner, target);
  launch::runSpawnerAndWait(spawner);
  if (std::FILE* check = std::fopen(target.c_str(), "rb")) {
    std::fclose(check);
  } else {
    LogPrintf("\t[Unarchiver] ERROR: unpack200 (%s) does not exist!\n", target.c_str());
  }
  std::remove(packed.c_str());
}

}  // namespace

ArchiveState::ArchiveState() : copyBuffer(kCopyBufferSize) { MixedHash_init(&hash); }

int ExtractArchiveEntry(RingBuffer& input, const std::string& destination, ArchiveState* state) {
  if (state != nullptr) state->collector.Clear();  // leftovers are not hashed

  const std::optional<std::string> typeText =
      ReadField(input, "Archive File Type", kTypeFieldMax, state);
  if (!typeText || typeText->empty()) {
    LogPrintf("[Unarchiver] WARNING. EOF encountered.\n");
    return -1;
  }
  const std::optional<std::string> path =
      ReadField(input, "Archive File Path", kPathFieldMax, state);
  if (!path) {
    LogPrintf("[Unarchiver] WARNING. EOF encountered.\n");
    return -1;
  }
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
  if (!IsSafeEntryPath(*path)) RejectEntry("entry path leaves the destination", *path, destination);

  std::string target = destination;
  fs::PathJoin(target, relative);
  if (type == static_cast<long>(EntryType::kPack200)) {
    target += ".p2";
    relative += ".p2";
  }
  if (target.size() >= kMaxDestinationPath) RejectEntry("entry path too long", *path, destination);
  if (!signatureBlock) CreateParents(destination, relative);

  if (type == static_cast<long>(EntryType::kFolder)) {
    fs::CreateFolder(target);
    LogPrintf("\t[Unarchiver] Created folder %s\n", relative.c_str());
    if (state != nullptr) HashFields(state->collector, &state->hash);
    return 0;
  }

  const std::optional<std::string> lengthText =
      ReadField(input, "Archive File Length", kLengthFieldMax, state);
  if (!lengthText) {
    // The stream ended inside the entry header: the archive ends here.
    LogPrintf("[Unarchiver] WARNING. EOF encountered.\n");
    return -1;
  }
  const std::optional<std::int32_t> length = ParseEntryLength(*lengthText);
  if (!length) RejectEntry("bad entry length", *lengthText, destination);

  if (signatureBlock) {
    // The block's own fields are never hashed, its fields 4 and 5 are not even collected.
    state->collector.Clear();
    state->signatureBlockSeen = true;
    const std::optional<std::string> covered =
        pipeline::RingBuffer_readUntil(input, "Signature Length", kLengthFieldMax, nullptr);
    const std::optional<std::int32_t> coveredValue =
        covered ? ParseEntryLength(*covered) : std::nullopt;
    state->signatureLength = coveredValue ? *coveredValue : -1;
    state->signatureHex =
        pipeline::RingBuffer_readUntil(input, "Signature Hex", kSignatureHexMax, nullptr);
    return -1;
  }

  if (*length == 0) {
    LogPrintf("\t[Unarchiver] Skipping empty file %s\n", relative.c_str());
    if (state != nullptr) HashFields(state->collector, &state->hash);
    return 0;
  }
  if (state != nullptr) HashFields(state->collector, &state->hash);
  std::vector<char>& buffer = state != nullptr ? state->copyBuffer : TailCopyBuffer();

  if (target.ends_with("p2.l2")) {
    ExtractInStep(input, *length, destination, state, buffer);
    return 0;
  }
  CopyToFile(input, *length, target, relative, state, buffer);
  if (type == static_cast<long>(EntryType::kPack200)) {
    std::string unpacked = target.substr(0, target.size() - 3);
    Unpack200(target, unpacked);
  }
  return 0;
}

int ExtractTailEntry(RingBuffer& input, const std::string& destination) {
  return ExtractArchiveEntry(input, destination, nullptr);
}

int ExtractArchive(RingBuffer& input, const std::string& destination) {
  LogPrintf("[Unarchiver] [START] Extracting archive %s\n", destination.c_str());
  std::fflush(stdout);
  RegisterArchiveHashes();
  auto state = std::make_unique<ArchiveState>();
  while (ExtractArchiveEntry(input, destination, state.get()) != -1) {
  }

  const bool haveKey = ProcessPublicKey() != nullptr;
  if (!state->signatureBlockSeen) {
    if (haveKey) {
      // With a key every archive must be signed; otherwise anyone could strip the block.
      LogPrintf("[Unarchiver] ERROR - the archive carries no signature block.\n");
      RejectArchive(destination);
    }
    LogPrintf("[Unarchiver] [END] Extracting archive %s\n", destination.c_str());
    return 0;
  }
  if (state->signatureLength < 0 || !state->signatureHex) {
    // A block header without its fields is no signature; accepting it unchecked would let a
    // truncated block switch the check off.
    LogPrintf("[Unarchiver] ERROR - the signature block is incomplete.\n");
    RejectArchive(destination);
  }
  VerifyArchiveSignature(state->hash, *state->signatureHex, destination);
  LogPrintf("[Unarchiver] [END] Extracting archive %s\n", destination.c_str());
  return 0;
}

void SetUnpack200Path(std::string path) {
  std::lock_guard<std::mutex> guard(Process().lock);
  Process().unpack200Path = std::move(path);
}

std::string Unpack200Path() {
  std::lock_guard<std::mutex> guard(Process().lock);
  return Process().unpack200Path;
}

int RunUnArchiver(RingBuffer& input, const std::string& destination) {
  LogPrintf("[Streamer] [UnArchiver] Starting...\n");
  ExtractArchive(input, destination);
  pipeline::RingBuffer_close(input);
  LogPrintf("[Streamer] [UnArchiver] Done.\n");
  return 0;
}

pipeline::StageThread StartUnArchiverStage(std::shared_ptr<RingBuffer> input,
                                           std::string destination) {
  RingBuffer* raw = input.get();
  return pipeline::StageThread(
      [raw, destination = std::move(destination)] { return RunUnArchiver(*raw, destination); },
      {std::move(input)});
}

NestedExtraction StartNestedExtraction(std::shared_ptr<RingBuffer> input, std::string destination) {
  auto decoded = pipeline::RingBuffer_create(kNestedInputBufferId, kNestedDecodedCapacity);
  NestedExtraction nested;
  nested.decoder = pipeline::StartUnLZMAerStage(std::move(input), decoded);
  nested.unarchiver = StartUnArchiverStage(decoded, std::move(destination));
  return nested;
}

}  // namespace ferrolan::archive
