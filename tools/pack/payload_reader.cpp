#include "payload_reader.h"

#include <lzma.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "archive/entry_format.h"
#include "archive/mixed_hash.h"
#include "tail/find_marker.h"
#include "tail/markers.h"
#include "tail/params.h"

namespace ferrolan::pack {
namespace {

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// A byte source that hands out one NUL-terminated field at a time.
template <typename Source>
std::optional<std::string> ReadField(Source& source, int limit) {
  std::string text;
  while (true) {
    int c = source.Get();
    if (c < 0) return std::nullopt;  // ended inside the field
    if (c == 0) return text;
    if (text.size() + 2 > static_cast<std::size_t>(limit)) return std::nullopt;  // over the limit
    text += static_cast<char>(c);
  }
}

// A file read from a known position, counting the bytes it hands out.
class FileSource {
 public:
  explicit FileSource(std::FILE* file, std::uint64_t position) : file_(file), pos_(position) {}
  int Get() {
    int c = std::getc(file_);
    if (c != EOF) ++pos_;
    return c == EOF ? -1 : c;
  }
  bool Skip(std::uint64_t count) {
    if (!tail::SeekFromCurrent(file_, static_cast<std::int64_t>(count))) return false;
    pos_ += count;
    return true;
  }
  std::uint64_t position() const { return pos_; }

 private:
  std::FILE* file_;
  std::uint64_t pos_;
};

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// Opens `path` and positions it right after `marker` as the launcher's search finds it.
std::optional<std::uint64_t> SeekPastMarker(std::FILE* file, std::span<const std::uint8_t> marker,
                                            const char* label) {
  std::int64_t end = tail::FindMarker(file, marker.data(), static_cast<int>(marker.size()), label);
  if (end < 0) return std::nullopt;
  return static_cast<std::uint64_t>(end);
}

// The decompressed bytes of one archive stored inside the launcher file, pulled on demand.
class DecodedArchive {
 public:
  DecodedArchive(std::FILE* file, std::uint64_t length) : file_(file), remaining_(length) {
    ok_ = lzma_auto_decoder(&stream_, UINT64_MAX, 0) == LZMA_OK;
    if (!ok_) error_ = "the decoder could not be set up";
  }
  ~DecodedArchive() { lzma_end(&stream_); }
  DecodedArchive(const DecodedArchive&) = delete;
  DecodedArchive& operator=(const DecodedArchive&) = delete;

  int Get() {
    if (outPos_ == outEnd_ && !Fill()) return -1;
    return out_[outPos_++];
  }
  // Moves up to `count` bytes into the hash; returns how many were there.
  std::uint64_t Hash(std::uint64_t count, archive::MixedHashState* hash) {
    std::uint64_t done = 0;
    while (done < count) {
      if (outPos_ == outEnd_ && !Fill()) break;
      std::size_t piece = std::min<std::uint64_t>(count - done, outEnd_ - outPos_);
      archive::MixedHash_process(hash, out_.data() + outPos_, static_cast<unsigned long>(piece));
      outPos_ += piece;
      done += piece;
    }
    return done;
  }
  const std::string& error() const { return error_; }

 private:
  bool Fill() {
    if (!ok_ || ended_) return false;
    while (true) {
      if (stream_.avail_in == 0 && remaining_ > 0) {
        std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(in_.size(), remaining_));
        std::size_t got = std::fread(in_.data(), 1, want, file_);
        remaining_ -= got;
        if (got == 0) remaining_ = 0;  // the file is shorter than the entry says
        stream_.next_in = in_.data();
        stream_.avail_in = got;
      }
      stream_.next_out = out_.data();
      stream_.avail_out = out_.size();
      lzma_ret ret = lzma_code(&stream_, remaining_ == 0 ? LZMA_FINISH : LZMA_RUN);
      outPos_ = 0;
      outEnd_ = out_.size() - stream_.avail_out;
      if (ret == LZMA_STREAM_END) ended_ = true;
      if (ret != LZMA_OK && ret != LZMA_STREAM_END) {
        ok_ = false;
        error_ = "the compressed data is damaged (decoder error " +
                 std::to_string(static_cast<int>(ret)) + ")";
      }
      if (outEnd_ > 0) return true;
      if (!ok_ || ended_) return false;
      if (remaining_ == 0 && stream_.avail_in == 0) {
        ok_ = false;
        error_ = "the compressed data ends early";
        return false;
      }
    }
  }

  std::FILE* file_;
  std::uint64_t remaining_;
  lzma_stream stream_ = LZMA_STREAM_INIT;
  // On the heap: the check may run on a thread with a small stack.
  std::vector<std::uint8_t> in_ = std::vector<std::uint8_t>(1 << 16);
  std::vector<std::uint8_t> out_ = std::vector<std::uint8_t>(1 << 16);
  std::size_t outPos_ = 0;
  std::size_t outEnd_ = 0;
  bool ok_ = false;
  bool ended_ = false;
  std::string error_;
};

void HashText(archive::MixedHashState* hash, const std::string& text) {
  // Each field is hashed with its NUL, as it stands in the stream.
  archive::MixedHash_process(hash, reinterpret_cast<const unsigned char*>(text.c_str()),
                             static_cast<unsigned long>(text.size() + 1));
}

}  // namespace

std::optional<ParamsSection> ReadParamsSection(const std::string& path, std::string* error) {
  FilePtr file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) {
    *error = "cannot open " + path;
    return std::nullopt;
  }
  std::optional<std::uint64_t> start = SeekPastMarker(file.get(), tail::ParamsMarker(), "Params");
  if (!start) {
    *error = path + " has no Params marker: it is not a packaged launcher";
    return std::nullopt;
  }
  ParamsSection section;
  section.start = *start;
  section.markerOffset = *start - tail::ParamsMarker().size();
  FileSource source(file.get(), *start);
  std::optional<std::string> count = ReadField(source, tail::kParamsCountLimit);
  if (!count || !AllDigits(*count)) {
    *error = "the Params count cannot be read";
    return std::nullopt;
  }
  long n = std::strtol(count->c_str(), nullptr, 10);
  for (long i = 0; i < n; ++i) {
    std::optional<std::string> name = ReadField(source, tail::kParamNameLimit);
    std::optional<std::string> value;
    if (name) value = ReadField(source, tail::kParamValueLimit);
    if (!value) {
      *error = "Params pair " + std::to_string(i) + " of " + std::to_string(n) +
               " is cut short or too long";
      return std::nullopt;
    }
    section.params.emplace_back(std::move(*name), std::move(*value));
  }
  section.end = source.position();
  return section;
}

int ExpectedTailEntryCount(const tail::TailFields& fields) {
  if (fields.guVersion.empty()) return 0;
  int count = 5;
  if (!fields.jreVersion.empty()) count += 1;
  if (!fields.appVersion.empty()) count += 2;
  return count;
}

std::optional<LauncherContents> ReadLauncherContents(const std::string& path, std::string* error) {
  LauncherContents contents;
  std::error_code fsError;
  contents.fileSize = std::filesystem::file_size(path, fsError);
  std::optional<ParamsSection> params = ReadParamsSection(path, error);
  if (!params) return std::nullopt;
  contents.params = std::move(*params);

  FilePtr file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) {
    *error = "cannot open " + path;
    return std::nullopt;
  }
  std::optional<std::uint64_t> start = SeekPastMarker(file.get(), tail::TailMarker(), "Tail");
  if (!start) {
    *error = path + " has no tail marker";
    return std::nullopt;
  }
  contents.tailMarkerOffset = *start - tail::TailMarker().size();
  FileSource source(file.get(), *start);
  for (const tail::TailFieldDescription& field : tail::kTailFieldLayout) {
    std::optional<std::string> value = ReadField(source, field.limit);
    if (!value) {
      *error = std::string("tail field \"") + field.label + "\" is missing or too long";
      return std::nullopt;
    }
    contents.fields.*field.member = std::move(*value);
  }
  int expected = ExpectedTailEntryCount(contents.fields);
  for (int i = 0; i < expected; ++i) {
    TailEntryInfo entry;
    std::optional<std::string> type = ReadField(source, archive::kTypeFieldMax);
    std::optional<std::string> entryPath;
    if (type && !type->empty()) entryPath = ReadField(source, archive::kPathFieldMax);
    if (!entryPath) {
      *error = "tail entry " + std::to_string(i + 1) + " of " + std::to_string(expected) +
               " is missing or its header is damaged";
      return std::nullopt;
    }
    entry.type = archive::ParseEntryType(*type);
    entry.path = std::move(*entryPath);
    if (entry.type != static_cast<long>(archive::EntryType::kFolder)) {
      std::optional<std::string> lengthText = ReadField(source, archive::kLengthFieldMax);
      std::optional<std::int32_t> length;
      if (lengthText) length = archive::ParseEntryLength(*lengthText);
      if (!length) {
        *error = "tail entry \"" + entry.path + "\" has no valid length";
        return std::nullopt;
      }
      entry.length = *length;
      entry.contentOffset = source.position();
      if (source.position() + static_cast<std::uint64_t>(*length) > contents.fileSize ||
          !source.Skip(static_cast<std::uint64_t>(*length))) {
        *error = "tail entry \"" + entry.path + "\" runs past the end of the file";
        return std::nullopt;
      }
    }
    contents.entries.push_back(std::move(entry));
  }
  contents.entriesEnd = source.position();
  if (contents.params.markerOffset < contents.entriesEnd) {
    *error = "the Params marker lies inside the wrapper tail";
    return std::nullopt;
  }
  return contents;
}

std::unique_ptr<archive::PublicKey> ImportTailKey(const std::string& hexText) {
  if (hexText.empty()) return nullptr;
  std::vector<unsigned char> der(hexText.size() / 2 + 2, 0);
  int produced = archive::HexToBytes(der.data(), der.size(), hexText);
  if (produced <= 0) return nullptr;
  return archive::ImportPublicKey(der.data(), static_cast<std::size_t>(produced));
}

ArchiveCheck CheckCarriedArchive(const std::string& path, std::uint64_t offset,
                                 std::uint64_t length, const archive::PublicKey* key) {
  ArchiveCheck check;
  FilePtr file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file || !tail::SeekFromCurrent(file.get(), static_cast<std::int64_t>(offset))) {
    check.message = "cannot read the archive from " + path;
    return check;
  }
  archive::RegisterArchiveHashes();
  archive::MixedHashState hash;
  archive::MixedHash_init(&hash);
  DecodedArchive input(file.get(), length);
  std::optional<std::string> signatureHex;
  while (true) {
    std::optional<std::string> type = ReadField(input, archive::kTypeFieldMax);
    if (!type || type->empty()) break;  // the end of the entries (no signature block)
    std::optional<std::string> entryPath = ReadField(input, archive::kPathFieldMax);
    if (!entryPath) {
      check.message = "an entry header is cut short or damaged";
      return check;
    }
    if (entryPath->starts_with(archive::kSpecialBlockPrefix) &&
        std::string_view(*entryPath).substr(archive::kSpecialBlockPrefix.size()) ==
            archive::kSignatureBlockName) {
      std::optional<std::string> blockLength = ReadField(input, archive::kLengthFieldMax);
      std::optional<std::string> signedCount;
      if (blockLength) signedCount = ReadField(input, archive::kLengthFieldMax);
      if (signedCount) signatureHex = ReadField(input, archive::kSignatureHexMax);
      if (!signatureHex) {
        check.message = "the signature block is damaged";
        return check;
      }
      check.hasSignature = true;
      if (!AllDigits(*signedCount) || std::to_string(check.bytes) != *signedCount) {
        check.message = "the signature block covers " + *signedCount + " bytes, but " +
                        std::to_string(check.bytes) + " precede it";
        return check;
      }
      break;
    }
    HashText(&hash, *type);
    HashText(&hash, *entryPath);
    check.bytes += type->size() + entryPath->size() + 2;
    if (!archive::IsSafeEntryPath(*entryPath)) {
      check.message = "entry path \"" + *entryPath + "\" would leave the destination folder";
      return check;
    }
    if (archive::ParseEntryType(*type) == static_cast<long>(archive::EntryType::kFolder)) {
      ++check.folders;
      continue;
    }
    std::optional<std::string> lengthText = ReadField(input, archive::kLengthFieldMax);
    std::optional<std::int32_t> contentLength;
    if (lengthText) contentLength = archive::ParseEntryLength(*lengthText);
    if (!contentLength) {
      check.message = "entry \"" + *entryPath + "\" has no valid length";
      return check;
    }
    HashText(&hash, *lengthText);
    check.bytes += lengthText->size() + 1;
    std::uint64_t due = static_cast<std::uint64_t>(*contentLength);
    std::uint64_t got = input.Hash(due, &hash);
    check.bytes += got;
    if (got != due) {
      check.message = "entry \"" + *entryPath + "\" is cut short" +
                      (input.error().empty() ? "" : ": " + input.error());
      return check;
    }
    ++check.files;
  }
  if (!input.error().empty()) {
    check.message = input.error();
    return check;
  }
  std::string summary = std::to_string(check.files) + " files, " + std::to_string(check.folders) +
                        " folders, " + std::to_string(check.bytes) + " bytes";
  if (!signatureHex) {
    if (key != nullptr) {
      check.message =
          "unsigned, but the launcher carries a key and would refuse it (" + summary + ")";
      return check;
    }
    check.ok = true;
    check.message = "unsigned, accepted without a check (" + summary + ")";
    return check;
  }
  if (key == nullptr) {
    check.message = "signed, but the launcher carries no key and would refuse it";
    return check;
  }
  if (!archive::CheckSignature(hash, *signatureHex, key)) {
    check.message = "SIGNATURE DOES NOT MATCH (" + summary + ")";
    return check;
  }
  check.ok = true;
  check.message = "signature OK (" + summary + ")";
  return check;
}

}  // namespace ferrolan::pack
