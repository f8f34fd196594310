#include "pack/format/jar_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <fstream>

namespace ferrolan::pack {
namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kMaxComment = 0xFFFF;
// A central directory beyond this is no jar a launcher would be asked to carry; the limit keeps
// a forged size from making us allocate the whole address space.
constexpr std::uint64_t kMaxDirectory = 256u << 20;
// Manifests are a few kilobytes; anything far larger is refused rather than inflated.
constexpr std::uint64_t kMaxManifest = 1u << 20;
constexpr const char* kManifestName = "META-INF/MANIFEST.MF";

std::uint16_t U16(std::string_view b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                    static_cast<unsigned char>(b[at + 1]) << 8);
}
std::uint32_t U32(std::string_view b, std::size_t at) {
  return static_cast<std::uint32_t>(U16(b, at)) | static_cast<std::uint32_t>(U16(b, at + 2)) << 16;
}
std::uint64_t U64(std::string_view b, std::size_t at) {
  return static_cast<std::uint64_t>(U32(b, at)) | static_cast<std::uint64_t>(U32(b, at + 4)) << 32;
}

struct Directory {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint64_t entries = 0;
};

struct ManifestEntry {
  std::uint16_t method = 0;
  std::uint16_t flags = 0;
  std::uint64_t compressed = 0;
  std::uint64_t uncompressed = 0;
  std::uint64_t localOffset = 0;
};

// The end record is the last thing in the file, followed only by a comment of up to 64 KiB.
std::optional<Directory> FindDirectory(const JarBytes& read, std::uint64_t size,
                                       std::string* error) {
  if (size < kEndSize) {
    *error = "too short to be a jar (zip) file";
    return std::nullopt;
  }
  const std::uint64_t tailSize = std::min<std::uint64_t>(size, kEndSize + kMaxComment);
  std::string tail;
  if (!read(size - tailSize, static_cast<std::size_t>(tailSize), &tail)) {
    *error = "cannot read the end of the file";
    return std::nullopt;
  }
  std::size_t at = tail.size() - kEndSize + 1;
  bool found = false;
  while (at-- > 0) {
    if (U32(tail, at) == kEndSignature && at + kEndSize + U16(tail, at + 20) == tail.size()) {
      found = true;
      break;
    }
  }
  if (!found) {
    *error = "not a jar (zip) file: no end of central directory record";
    return std::nullopt;
  }
  const std::uint64_t endOffset = size - tailSize + at;
  Directory dir{U32(tail, at + 16), U32(tail, at + 12), U16(tail, at + 10)};
  if (U16(tail, at + 4) != 0 || U16(tail, at + 6) != 0 || U16(tail, at + 8) != dir.entries) {
    *error = "a zip file split over several disks is no jar";
    return std::nullopt;
  }
  const bool zip64 = dir.offset == 0xFFFFFFFF || dir.size == 0xFFFFFFFF || dir.entries == 0xFFFF;
  if (zip64 && endOffset >= kZip64LocatorSize) {
    std::string locator;
    if (read(endOffset - kZip64LocatorSize, kZip64LocatorSize, &locator) &&
        U32(locator, 0) == kZip64LocatorSignature) {
      const std::uint64_t recordOffset = U64(locator, 8);
      std::string record;
      if (recordOffset > size - kZip64EndSize || !read(recordOffset, kZip64EndSize, &record) ||
          U32(record, 0) != kZip64EndSignature) {
        *error = "the zip64 end record is missing or damaged";
        return std::nullopt;
      }
      dir = Directory{U64(record, 48), U64(record, 40), U64(record, 32)};
    }
  }
  if (dir.offset > endOffset || dir.size > endOffset - dir.offset || dir.size > kMaxDirectory) {
    *error = "the central directory lies outside the file";
    return std::nullopt;
  }
  return dir;
}

// Sizes and the offset that do not fit 32 bits are in the zip64 extra field, in this order,
// present only for the fields that hold 0xFFFFFFFF.
bool ApplyZip64Extra(std::string_view extra, ManifestEntry& entry) {
  std::size_t at = 0;
  while (at + 4 <= extra.size()) {
    const std::uint16_t id = U16(extra, at);
    const std::size_t length = U16(extra, at + 2);
    if (at + 4 + length > extra.size()) return false;
    if (id == 0x0001) {
      std::string_view data = extra.substr(at + 4, length);
      std::size_t pos = 0;
      for (std::uint64_t* field : {&entry.uncompressed, &entry.compressed, &entry.localOffset}) {
        if (*field != 0xFFFFFFFF) continue;
        if (pos + 8 > data.size()) return false;
        *field = U64(data, pos);
        pos += 8;
      }
      return true;
    }
    at += 4 + length;
  }
  return true;
}

std::optional<std::string> Inflate(std::string_view compressed, std::uint64_t expected) {
  std::string out(static_cast<std::size_t>(expected), '\0');
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return std::nullopt;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  stream.avail_in = static_cast<uInt>(compressed.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&stream, Z_FINISH);
  const bool complete = status == Z_STREAM_END && stream.total_out == expected;
  inflateEnd(&stream);
  if (!complete) return std::nullopt;
  return out;
}

std::optional<std::string> ReadManifest(const JarBytes& read, std::uint64_t size,
                                        const ManifestEntry& entry, std::string* error) {
  auto fail = [&](const char* why) {
    *error = std::string("the manifest ") + why;
    return std::nullopt;
  };
  if ((entry.flags & 1) != 0) return fail("is encrypted");
  if (entry.method != 0 && entry.method != 8) return fail("uses an unknown compression method");
  if (entry.uncompressed > kMaxManifest || entry.compressed > kMaxManifest)
    return fail("is larger than 1 MiB");
  std::string local;
  if (entry.localOffset > size || size - entry.localOffset < kLocalSize ||
      !read(entry.localOffset, kLocalSize, &local) || U32(local, 0) != kLocalSignature) {
    return fail("entry's local header is missing");
  }
  const std::uint64_t dataOffset = entry.localOffset + kLocalSize + U16(local, 26) + U16(local, 28);
  std::string data;
  if (dataOffset > size || size - dataOffset < entry.compressed ||
      !read(dataOffset, static_cast<std::size_t>(entry.compressed), &data)) {
    return fail("runs past the end of the file");
  }
  if (entry.method == 0) {
    if (entry.compressed != entry.uncompressed) return fail("has inconsistent sizes");
    return data;
  }
  std::optional<std::string> text = Inflate(data, entry.uncompressed);
  if (!text) return fail("cannot be inflated (damaged data)");
  return text;
}

std::string Lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

std::string DecodePercent(std::string_view text) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() &&
        std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      result.push_back(
          static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
      i += 2;
    } else {
      result.push_back(text[i]);
    }
  }
  return result;
}

}  // namespace

std::optional<JarIndex> ReadJarIndex(const JarBytes& read, std::uint64_t size, std::string* error) {
  std::optional<Directory> dir = FindDirectory(read, size, error);
  if (!dir) return std::nullopt;
  std::string bytes;
  if (!read(dir->offset, static_cast<std::size_t>(dir->size), &bytes)) {
    *error = "cannot read the central directory";
    return std::nullopt;
  }
  JarIndex index;
  std::optional<ManifestEntry> manifest;
  std::size_t at = 0;
  for (std::uint64_t i = 0; i < dir->entries; ++i) {
    if (bytes.size() - at < kCentralSize || U32(bytes, at) != kCentralSignature) {
      *error = "the central directory is damaged (entry " + std::to_string(i + 1) + ")";
      return std::nullopt;
    }
    const std::size_t nameLength = U16(bytes, at + 28);
    const std::size_t extraLength = U16(bytes, at + 30);
    const std::size_t commentLength = U16(bytes, at + 32);
    const std::size_t total = kCentralSize + nameLength + extraLength + commentLength;
    if (bytes.size() - at < total) {
      *error = "the central directory is cut short (entry " + std::to_string(i + 1) + ")";
      return std::nullopt;
    }
    std::string name = bytes.substr(at + kCentralSize, nameLength);
    if (name == kManifestName) {
      ManifestEntry entry{U16(bytes, at + 10), U16(bytes, at + 8), U32(bytes, at + 20),
                          U32(bytes, at + 24), U32(bytes, at + 42)};
      if (!ApplyZip64Extra(
              std::string_view(bytes).substr(at + kCentralSize + nameLength, extraLength), entry)) {
        *error = "the manifest's zip64 sizes are damaged";
        return std::nullopt;
      }
      manifest = entry;
    }
    index.names.insert(std::move(name));
    at += total;
  }
  if (manifest) {
    index.manifest = ReadManifest(read, size, *manifest, error);
    if (!index.manifest) return std::nullopt;
  }
  return index;
}

std::optional<JarIndex> ReadJarFile(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path;
    return std::nullopt;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  if (end < 0) {
    *error = "cannot read " + path;
    return std::nullopt;
  }
  JarBytes read = [&in](std::uint64_t offset, std::size_t length, std::string* out) {
    out->assign(length, '\0');
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(out->data(), static_cast<std::streamsize>(length));
    return static_cast<std::size_t>(in.gcount()) == length;
  };
  std::optional<JarIndex> index = ReadJarIndex(read, static_cast<std::uint64_t>(end), error);
  if (!index) *error = path + ": " + *error;
  return index;
}

Manifest ParseManifest(std::string_view text) {
  // Logical lines: a physical line that begins with one blank continues the one before it.
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end;
    if (at < text.size() && text[at] == '\r') ++at;
    if (at < text.size() && text[at] == '\n') ++at;
    if (line.empty()) break;  // the main section ends at the first blank line
    if (line[0] == ' ' && !lines.empty())
      lines.back().append(line.substr(1));
    else
      lines.emplace_back(line);
  }
  Manifest manifest;
  for (const std::string& line : lines) {
    const std::size_t colon = line.find(": ");
    if (colon == std::string::npos) continue;
    const std::string name = Lower(line.substr(0, colon));
    const std::string value = line.substr(colon + 2);
    if (name == "main-class") {
      manifest.mainClass = value;
    } else if (name == "class-path") {
      std::size_t pos = 0;
      while (pos < value.size()) {
        std::size_t next = value.find(' ', pos);
        if (next == std::string::npos) next = value.size();
        if (next > pos) manifest.classPath.push_back(DecodePercent(value.substr(pos, next - pos)));
        pos = next + 1;
      }
    }
  }
  // Tools write "Main-Class: x " now and then; the blank is no part of the name.
  while (!manifest.mainClass.empty() && manifest.mainClass.back() == ' ')
    manifest.mainClass.pop_back();
  return manifest;
}

std::string ClassEntryName(std::string_view className) {
  if (className.empty() || className.front() == '.' || className.back() == '.' ||
      className.find("..") != std::string_view::npos ||
      className.find_first_of("/\\ \t;[") != std::string_view::npos) {
    return {};
  }
  std::string entry(className);
  std::replace(entry.begin(), entry.end(), '.', '/');
  return entry + ".class";
}

}  // namespace ferrolan::pack
