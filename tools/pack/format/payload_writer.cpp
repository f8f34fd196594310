#include "pack/format/payload_writer.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "archive/archive_writer.h"
#include "fs/owned_file.h"
#include "pack/support/file_remover.h"
#include "tail/find_marker.h"
#include "tail/markers.h"
#include "tail/params.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;

// Entry lengths are read as signed 32-bit numbers by the launcher.
constexpr std::uint64_t kMaxEntryLength = 0x7FFFFFFF;

// Writes the output file and remembers its last byte, which decides the marker guards.
class PayloadSink {
 public:
  explicit PayloadSink(std::FILE* file) : file_(file) {}

  bool Write(const void* data, std::size_t length) {
    if (length == 0) return ok_;
    ok_ = ok_ && std::fwrite(data, 1, length, file_) == length;
    last_ = static_cast<const std::uint8_t*>(data)[length - 1];
    written_ += length;
    return ok_;
  }
  bool Write(std::string_view text) { return Write(text.data(), text.size()); }

  // Copies a whole file; false (with `error` set) when it cannot be read completely.
  bool CopyFile(const std::string& path, std::uint64_t expected, std::string* error) {
    fs::OwnedFile in = fs::OpenFile(path, "rb");
    if (!in) {
      *error = "cannot read " + path;
      return false;
    }
    std::vector<char> buffer(1 << 16);
    std::uint64_t copied = 0;
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0) {
      if (!Write(buffer.data(), got)) break;
      copied += got;
    }
    if (!ok_) {
      *error = "cannot write the launcher file";
      return false;
    }
    if (std::ferror(in.get()) || copied != expected) {
      *error = path + " changed or could not be read while it was copied";
      return false;
    }
    return true;
  }

  // Puts the guard byte in place when the byte written last could hide `marker`, then the
  // marker; returns the marker's offset.
  std::uint64_t WriteMarker(std::span<const std::uint8_t> marker) {
    if (written_ > 0 && NeedsGuardByte(last_, marker)) {
      std::uint8_t guard = GuardByte(marker);
      Write(&guard, 1);
    }
    std::uint64_t offset = written_;
    Write(marker.data(), marker.size());
    return offset;
  }

  bool ok() const { return ok_; }
  std::uint64_t written() const { return written_; }

 private:
  std::FILE* file_;
  bool ok_ = true;
  std::uint8_t last_ = 0;
  std::uint64_t written_ = 0;
};

}  // namespace

std::optional<std::string> NormalizeVersion(std::string_view text) {
  if (text.empty() || text.size() > kVersionDigits) return std::nullopt;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  return std::string(kVersionDigits - text.size(), '0') + std::string(text);
}

bool WriteVersionFile(const std::string& path, const std::string& version) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << version;
  out.close();
  return static_cast<bool>(out);
}

std::uint8_t GuardByte(std::span<const std::uint8_t> marker) {
  for (int value = 0; value < 256; ++value) {
    if (std::find(marker.begin(), marker.end(), value) == marker.end())
      return static_cast<std::uint8_t>(value);
  }
  return 0;  // unreachable for markers shorter than 256 bytes
}

bool NeedsGuardByte(std::uint8_t previous, std::span<const std::uint8_t> marker) {
  return std::find(marker.begin(), marker.end(), previous) != marker.end();
}

std::string CheckParam(const Param& param) {
  const auto& [name, value] = param;
  if (name.empty()) return "a Params name is empty";
  if (name.find('\0') != std::string::npos || value.find('\0') != std::string::npos)
    return "Params \"" + name + "\" contains a NUL byte";
  if (name.size() >= static_cast<std::size_t>(tail::kParamNameLimit))
    return "Params name \"" + name.substr(0, 40) + "...\" is longer than 1023 bytes";
  if (value.size() >= static_cast<std::size_t>(tail::kParamValueLimit))
    return "the value of Params \"" + name + "\" is longer than 199999 bytes";
  return {};
}

std::string EncodeParamsSection(const std::vector<Param>& params) {
  std::string out = std::to_string(params.size());
  out += '\0';
  for (const auto& [name, value] : params) {
    out += name;
    out += '\0';
    out += value;
    out += '\0';
  }
  return out;
}

std::string CheckTailFields(const tail::TailFields& fields) {
  for (const tail::TailFieldDescription& field : tail::kTailFieldLayout) {
    const std::string& value = fields.*field.member;
    if (value.find('\0') != std::string::npos)
      return std::string("tail field \"") + field.label + "\" contains a NUL byte";
    if (value.size() >= static_cast<std::size_t>(field.limit)) {
      return std::string("tail field \"") + field.label + "\" is longer than " +
             std::to_string(field.limit - 1) + " bytes";
    }
  }
  return {};
}

bool MarkerFoundAt(const std::string& path, std::span<const std::uint8_t> marker,
                   std::uint64_t markerOffset) {
  fs::OwnedFile file = fs::OpenFile(path, "rb");
  if (!file) return false;
  std::int64_t end = tail::FindMarker(file.get(), marker.data(), static_cast<int>(marker.size()),
                                      "packager check");
  return end >= 0 && static_cast<std::uint64_t>(end) == markerOffset + marker.size();
}

std::optional<PayloadLayout> WriteLauncherFile(const LauncherPayload& payload,
                                               const std::string& output, std::string* error) {
  std::string problem = CheckTailFields(payload.fields);
  for (const Param& param : payload.params) {
    if (problem.empty()) problem = CheckParam(param);
  }
  if (!problem.empty()) {
    *error = problem;
    return std::nullopt;
  }
  // Sizes first: a missing or oversized file fails before anything is written.
  std::error_code fsError;
  std::uint64_t imageSize = stdfs::file_size(payload.imagePath, fsError);
  if (fsError) {
    *error = "cannot read the launcher image " + payload.imagePath + ": " + fsError.message();
    return std::nullopt;
  }
  std::vector<std::uint64_t> sizes;
  for (const TailEntrySource& entry : payload.entries) {
    std::uint64_t size = stdfs::file_size(entry.sourceFile, fsError);
    if (fsError) {
      *error = "cannot read " + entry.sourceFile + ": " + fsError.message();
      return std::nullopt;
    }
    if (size > kMaxEntryLength) {
      *error = entry.sourceFile + " is larger than an entry can be (2 GiB - 1 bytes)";
      return std::nullopt;
    }
    sizes.push_back(size);
  }

  const std::string partial = output + ".partial";
  FileRemover removePartial(partial);
  PayloadLayout layout;
  layout.imageSize = imageSize;
  {
    fs::OwnedFile file = fs::OpenFile(partial, "wb");
    if (!file) {
      *error = "cannot create " + partial;
      return std::nullopt;
    }
    PayloadSink sink(file.get());
    if (!sink.CopyFile(payload.imagePath, imageSize, error)) return std::nullopt;
    layout.tailMarkerOffset = sink.WriteMarker(tail::TailMarker());
    for (const tail::TailFieldDescription& field : tail::kTailFieldLayout) {
      sink.Write(payload.fields.*field.member);
      sink.Write(std::string_view("\0", 1));
    }
    for (std::size_t i = 0; i < payload.entries.size(); ++i) {
      sink.Write(archive::EncodeEntryHeader(archive::EntryType::kFile, payload.entries[i].name,
                                            static_cast<std::int64_t>(sizes[i])));
      if (!sink.CopyFile(payload.entries[i].sourceFile, sizes[i], error)) return std::nullopt;
    }
    layout.paramsMarkerOffset = sink.WriteMarker(tail::ParamsMarker());
    sink.Write(EncodeParamsSection(payload.params));
    layout.fileSize = sink.written();
    bool closed = std::fclose(file.release()) == 0;
    if (!sink.ok() || !closed) {
      *error = "cannot write " + partial;
      return std::nullopt;
    }
  }
  if (!MarkerFoundAt(partial, tail::TailMarker(), layout.tailMarkerOffset)) {
    *error = "the launcher image already contains the tail marker; it is not a launcher image";
    return std::nullopt;
  }
  if (!MarkerFoundAt(partial, tail::ParamsMarker(), layout.paramsMarkerOffset)) {
    *error =
        "the Params marker occurs before its place (inside the image or an entry); a launcher "
        "would read the wrong Params";
    return std::nullopt;
  }
  // Executable for owner, group and others where the file system keeps such bits.
  stdfs::permissions(
      partial, stdfs::perms::owner_exec | stdfs::perms::group_exec | stdfs::perms::others_exec,
      stdfs::perm_options::add, fsError);
  stdfs::rename(partial, output, fsError);
  if (fsError) {
    *error = "cannot rename " + partial + " to " + output + ": " + fsError.message();
    return std::nullopt;
  }
  removePartial.Release();
  return layout;
}

}  // namespace ferrolan::pack
