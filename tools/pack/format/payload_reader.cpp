#include "pack/format/payload_reader.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "archive/entry_format.h"
#include "archive/unarchiver.h"
#include "fs/owned_file.h"
#include "pack/support/quiet_log.h"
#include "tail/find_marker.h"
#include "tail/markers.h"
#include "tail/params.h"
#include "tail/payload_layout.h"
#include "tail/stream_fields.h"

namespace ferrolan::pack {
namespace {

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// A launcher file positioned right after one of its markers, as the launcher's search finds it.
struct PastMarker {
  fs::OwnedFile file;
  std::uint64_t position = 0;
};

// Opens `path` and finds `marker`; none with `error` set when either fails (`missing` says what
// a missing marker means).
std::optional<PastMarker> OpenPastMarker(const std::string& path,
                                         std::span<const std::uint8_t> marker, const char* label,
                                         const std::string& missing, std::string* error) {
  PastMarker found{fs::OpenFile(path, "rb")};
  if (!found.file) {
    *error = "cannot open " + path;
    return std::nullopt;
  }
  const std::int64_t end =
      tail::FindMarker(found.file.get(), marker.data(), static_cast<int>(marker.size()), label);
  if (end < 0) {
    *error = path + missing;
    return std::nullopt;
  }
  found.position = static_cast<std::uint64_t>(end);
  return found;
}

}  // namespace

std::optional<ParamsSection> ReadParamsSection(const std::string& path, std::string* error) {
  std::optional<PastMarker> found =
      OpenPastMarker(path, tail::ParamsMarker(), "Params",
                     " has no Params marker: it is not a packaged launcher", error);
  if (!found) return std::nullopt;
  ParamsSection section;
  section.start = found->position;
  section.markerOffset = found->position - tail::ParamsMarker().size();
  tail::StreamFields source(found->file.get(), found->position);
  std::optional<std::string> count = source.Next(tail::kParamsCountLimit);
  if (!count || !AllDigits(*count)) {
    *error = "the Params count cannot be read";
    return std::nullopt;
  }
  long n = std::strtol(count->c_str(), nullptr, 10);
  for (long i = 0; i < n; ++i) {
    std::optional<std::string> name = source.Next(tail::kParamNameLimit);
    std::optional<std::string> value;
    if (name) value = source.Next(tail::kParamValueLimit);
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

std::optional<LauncherContents> ReadLauncherContents(const std::string& path, std::string* error) {
  LauncherContents contents;
  std::error_code fsError;
  contents.fileSize = std::filesystem::file_size(path, fsError);
  std::optional<ParamsSection> params = ReadParamsSection(path, error);
  if (!params) return std::nullopt;
  contents.params = std::move(*params);

  std::optional<PastMarker> found =
      OpenPastMarker(path, tail::TailMarker(), "Tail", " has no tail marker", error);
  if (!found) return std::nullopt;
  contents.tailMarkerOffset = found->position - tail::TailMarker().size();
  tail::StreamFields source(found->file.get(), found->position);
  for (const tail::TailFieldDescription& field : tail::kTailFieldLayout) {
    std::optional<std::string> value = source.Next(field.limit);
    if (!value) {
      *error = std::string("tail field \"") + field.label + "\" is missing or too long";
      return std::nullopt;
    }
    contents.fields.*field.member = std::move(*value);
  }
  const std::size_t expected = tail::TailEntriesFor(contents.fields).size();
  for (std::size_t i = 0; i < expected; ++i) {
    std::optional<tail::EntryHeader> header = tail::ReadEntryHeader(source);
    if (!header) {
      *error = "tail entry " + std::to_string(i + 1) + " of " + std::to_string(expected) +
               " is missing, or its header is damaged or has no valid length";
      return std::nullopt;
    }
    TailEntryInfo entry;
    entry.type = header->type;
    entry.path = std::move(header->path);
    entry.length = header->length;
    entry.contentOffset = source.position();
    const std::uint64_t length = static_cast<std::uint64_t>(header->length);
    if (source.position() + length > contents.fileSize || !source.Skip(length)) {
      *error = "tail entry \"" + entry.path + "\" runs past the end of the file";
      return std::nullopt;
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

bool ExtractCarriedArchive(const std::string& path, std::uint64_t offset, std::uint64_t length,
                           const archive::PublicKey* key, const std::string& folder,
                           std::string* error) {
  fs::OwnedFile file = fs::OpenFile(path, "rb");
  if (!file || !tail::SeekFromCurrent(file.get(), static_cast<std::int64_t>(offset))) {
    *error = "cannot read the archive from " + path;
    return false;
  }
  archive::ArchiveJob job(folder);
  job.key = key;
  archive::ArchiveReport report;
  {
    QuietLog quiet;  // the Unarchiver logs every entry
    report = archive::ExtractCompressedArchive(file.get(), length, job);
  }
  if (report.status != archive::ArchiveStatus::kOk || report.decoderFailed) {
    *error = report.problem.empty() ? "the archive cannot be extracted" : report.problem;
    return false;
  }
  return true;
}

ArchiveCheck CheckCarriedArchive(const std::string& path, std::uint64_t offset,
                                 std::uint64_t length, const archive::PublicKey* key) {
  ArchiveCheck check;
  fs::OwnedFile file = fs::OpenFile(path, "rb");
  if (!file || !tail::SeekFromCurrent(file.get(), static_cast<std::int64_t>(offset))) {
    check.message = "cannot read the archive from " + path;
    return check;
  }
  // The launcher's own reader, told not to write: what is reported is what a launcher accepts.
  archive::ArchiveJob job;
  job.verifyOnly = true;
  job.key = key;
  archive::ArchiveReport report;
  {
    QuietLog quiet;
    report = archive::ExtractCompressedArchive(file.get(), length, job);
  }
  check.hasSignature = report.signatureBlock;
  check.files = report.files;
  check.folders = report.folders;
  check.bytes = report.hashedBytes;
  const std::string summary = std::to_string(check.files) + " files, " +
                              std::to_string(check.folders) + " folders, " +
                              std::to_string(check.bytes) + " bytes";
  if (report.status != archive::ArchiveStatus::kOk) {
    switch (report.refusal) {
      case archive::Refusal::kBadSignature:
        check.message = "SIGNATURE DOES NOT MATCH (" + summary + ")";
        break;
      case archive::Refusal::kUnsigned:
        check.message =
            "unsigned, but the launcher carries a key and would refuse it (" + summary + ")";
        break;
      case archive::Refusal::kNoKey:
        check.message = "signed, but the launcher carries no key and would refuse it";
        break;
      default:
        check.message = report.problem.empty() ? "the archive cannot be read" : report.problem;
        break;
    }
    if (report.decoderFailed) check.message += " (the compressed data is damaged)";
    return check;
  }
  if (report.decoderFailed) {
    // A launcher without a key would keep what decoded; a packager should not ship it.
    check.message = "the compressed data is damaged (" + summary + ")";
    return check;
  }
  if (report.signatureBlock &&
      report.signedLength != static_cast<std::int64_t>(report.hashedBytes)) {
    check.message = "the signature block covers " + std::to_string(report.signedLength) +
                    " bytes, but " + std::to_string(report.hashedBytes) + " precede it";
    return check;
  }
  check.ok = true;
  check.message = report.signatureBlock ? "signature OK (" + summary + ")"
                                        : "unsigned, accepted without a check (" + summary + ")";
  return check;
}

}  // namespace ferrolan::pack
