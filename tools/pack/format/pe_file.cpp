#include "pack/format/pe_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "fs/owned_file.h"
#include "tail/find_marker.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;

constexpr std::uint16_t kPe32Magic = 0x10b;
constexpr std::uint16_t kPe32PlusMagic = 0x20b;
constexpr std::uint32_t kSecurityDirectoryIndex = 4;
constexpr std::uint16_t kCertificateRevision = 0x0200;
constexpr std::uint16_t kCertificateTypePkcsSignedData = 0x0002;
constexpr std::size_t kCopyChunk = 1 << 20;  // even, so checksum words never straddle chunks

std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
void PutLe32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Writes `value` (little-endian, 4 bytes) at the file offset `at` into the chunk that starts at
// `chunkStart`, for whichever of its bytes fall inside the chunk.
void PatchChunk(std::vector<std::uint8_t>& chunk, std::size_t used, std::uint64_t chunkStart,
                std::uint64_t at, std::uint32_t value) {
  for (std::uint64_t i = 0; i < 4; ++i) {
    const std::uint64_t position = at + i;
    if (position >= chunkStart && position < chunkStart + used) {
      chunk[static_cast<std::size_t>(position - chunkStart)] =
          static_cast<std::uint8_t>(value >> (8 * i));
    }
  }
}

// The running sum of PeChecksum, word by word with the carry folded back in each time.
class ChecksumSum {
 public:
  // `bytes` must start at an even file offset.
  void Add(const std::uint8_t* bytes, std::size_t count) {
    std::size_t i = 0;
    for (; i + 1 < count; i += 2) Fold(Le16(bytes + i));
    if (i < count) Fold(bytes[i]);  // the odd last byte of a file, as the low half of a word
  }
  std::uint32_t Finish(std::uint64_t length) const {
    return static_cast<std::uint32_t>(sum_ + static_cast<std::uint32_t>(length));
  }

 private:
  void Fold(std::uint32_t word) {
    sum_ += word;
    sum_ = (sum_ & 0xffff) + (sum_ >> 16);
  }
  std::uint32_t sum_ = 0;
};

// Copies the first `keep` bytes of `input` to `out` (or only reads them when `out` is null)
// with the data directory's security entry set to (tableOffset, tableSize) and the checksum
// field set to `checksum`, adding every byte, the checksum field as zero, to `sum`.
bool CopyPatched(std::FILE* in, std::FILE* out, std::uint64_t keep, const PeLayout& layout,
                 std::uint32_t tableOffset, std::uint32_t tableSize, std::uint32_t checksum,
                 ChecksumSum& sum) {
  std::vector<std::uint8_t> chunk(kCopyChunk);
  std::uint64_t done = 0;
  while (done < keep) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(kCopyChunk, keep - done));
    if (std::fread(chunk.data(), 1, want, in) != want) return false;
    PatchChunk(chunk, want, done, layout.checksumOffset, 0);
    PatchChunk(chunk, want, done, layout.securityEntryOffset, tableOffset);
    PatchChunk(chunk, want, done, layout.securityEntryOffset + 4, tableSize);
    sum.Add(chunk.data(), want);
    PatchChunk(chunk, want, done, layout.checksumOffset, checksum);
    if (out != nullptr && std::fwrite(chunk.data(), 1, want, out) != want) return false;
    done += want;
  }
  return true;
}

// Writes through "OUTPUT.partial": `body` fills the open file, which is then closed, given the
// permissions of `input` and renamed over `output`.
template <typename Body>
bool WriteReplacing(const std::string& input, const std::string& output, std::string* error,
                    Body body) {
  const std::string partial = output + ".partial";
  std::error_code fsError;
  bool ok = false;
  {
    fs::OwnedFile in = fs::OpenFile(input, "rb");
    fs::OwnedFile out = fs::OpenFile(partial, "wb");
    if (!in) {
      *error = "cannot read " + input;
      return false;
    }
    if (out) {
      ok = body(in.get(), out.get());
      ok = (std::fclose(out.release()) == 0) && ok;
    }
  }
  if (!ok) {
    stdfs::remove(partial, fsError);
    *error = "cannot write " + partial;
    return false;
  }
  stdfs::permissions(partial, stdfs::status(input, fsError).permissions(),
                     stdfs::perm_options::replace, fsError);
  stdfs::rename(partial, output, fsError);
  if (fsError) {
    stdfs::remove(partial, fsError);
    *error = "cannot replace " + output;
    return false;
  }
  return true;
}

}  // namespace

ExecutableKind ExecutableKindOf(const std::string& path) {
  std::string ignored;
  fs::OwnedFile file = fs::OpenFile(path, "rb");
  std::uint8_t head[4] = {};
  if (!file || std::fread(head, 1, 4, file.get()) != 4) return ExecutableKind::kOther;
  if (std::memcmp(head,
                  "\x7f"
                  "ELF",
                  4) == 0)
    return ExecutableKind::kElf;
  file.reset();
  return ReadPeLayout(path, &ignored) ? ExecutableKind::kPe : ExecutableKind::kOther;
}

std::optional<PeLayout> ReadPeLayout(const std::string& path, std::string* error) {
  fs::OwnedFile file = fs::OpenFile(path, "rb");
  if (!file) {
    *error = "cannot open " + path;
    return std::nullopt;
  }
  std::error_code fsError;
  const std::uint64_t size = stdfs::file_size(path, fsError);
  // The headers sit in the first pages; 64 KiB holds them for any image a linker writes.
  std::vector<std::uint8_t> head(64 * 1024);
  head.resize(std::fread(head.data(), 1, head.size(), file.get()));
  const std::string notPe = path + " is not a Windows (PE) executable";
  if (head.size() < 64 || head[0] != 'M' || head[1] != 'Z') {
    *error = notPe;
    return std::nullopt;
  }
  const std::uint32_t pe = Le32(&head[0x3c]);
  if (static_cast<std::uint64_t>(pe) + 24 + 2 > head.size() ||
      std::memcmp(&head[pe], "PE\0\0", 4) != 0) {
    *error = notPe;
    return std::nullopt;
  }
  const std::uint64_t optional = pe + 24;
  const std::uint16_t magic = Le16(&head[optional]);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) {
    *error = notPe + " (unknown optional header)";
    return std::nullopt;
  }
  const std::uint64_t countOffset = optional + (magic == kPe32Magic ? 92 : 108);
  const std::uint64_t directories = countOffset + 4;
  const std::uint64_t entry = directories + 8 * kSecurityDirectoryIndex;
  if (entry + 8 > head.size() ||
      Le32(&head[static_cast<std::size_t>(countOffset)]) <= kSecurityDirectoryIndex) {
    *error = path + " has no certificate table entry in its headers";
    return std::nullopt;
  }
  PeLayout layout;
  layout.checksumOffset = optional + 64;
  layout.securityEntryOffset = entry;
  layout.certificateTableOffset = Le32(&head[static_cast<std::size_t>(entry)]);
  layout.certificateTableSize = Le32(&head[static_cast<std::size_t>(entry) + 4]);
  if (layout.certificateTableSize != 0 &&
      static_cast<std::uint64_t>(layout.certificateTableOffset) + layout.certificateTableSize >
          size) {
    *error = path + ": the certificate table runs past the end of the file";
    return std::nullopt;
  }
  return layout;
}

std::vector<std::uint8_t> EncodeCertificateTable(std::span<const std::uint8_t> pkcs7Der) {
  const std::size_t length = (8 + pkcs7Der.size() + 7) / 8 * 8;
  std::vector<std::uint8_t> table(length, 0);
  PutLe32(table.data(), static_cast<std::uint32_t>(length));
  table[4] = kCertificateRevision & 0xff;
  table[5] = kCertificateRevision >> 8;
  table[6] = kCertificateTypePkcsSignedData & 0xff;
  table[7] = kCertificateTypePkcsSignedData >> 8;
  std::copy(pkcs7Der.begin(), pkcs7Der.end(), table.begin() + 8);
  return table;
}

std::optional<std::vector<std::uint8_t>> CertificateTableContent(
    std::span<const std::uint8_t> table, std::string* error) {
  if (table.size() < 8) {
    *error = "the certificate table is too short";
    return std::nullopt;
  }
  const std::uint32_t length = Le32(table.data());
  const std::uint16_t type = Le16(table.data() + 6);
  if (length < 8 || length > table.size() || type != kCertificateTypePkcsSignedData) {
    *error = "the certificate table holds no PKCS #7 signature";
    return std::nullopt;
  }
  return std::vector<std::uint8_t>(table.begin() + 8, table.begin() + length);
}

std::optional<std::vector<std::uint8_t>> ReadCertificateTable(const std::string& path,
                                                              const PeLayout& layout,
                                                              std::string* error) {
  fs::OwnedFile file = fs::OpenFile(path, "rb");
  std::vector<std::uint8_t> table(layout.certificateTableSize);
  if (!file || !tail::SeekFromCurrent(file.get(), layout.certificateTableOffset) ||
      std::fread(table.data(), 1, table.size(), file.get()) != table.size()) {
    *error = "cannot read the certificate table of " + path;
    return std::nullopt;
  }
  return table;
}

std::uint32_t PeChecksum(std::span<const std::uint8_t> bytes, std::uint64_t checksumOffset) {
  std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
  for (std::uint64_t i = checksumOffset; i < checksumOffset + 4 && i < copy.size(); ++i) {
    copy[static_cast<std::size_t>(i)] = 0;
  }
  ChecksumSum sum;
  sum.Add(copy.data(), copy.size());
  return sum.Finish(copy.size());
}

bool WriteWithCertificateTable(const std::string& input, const PeLayout& layout, std::uint64_t keep,
                               std::span<const std::uint8_t> table, const std::string& output,
                               std::string* error) {
  if (keep % 8 != 0 || keep + table.size() > 0xffffffffu) {
    *error = "the certificate table cannot be placed at offset " + std::to_string(keep);
    return false;
  }
  // The checksum covers the whole new file, so a first pass computes it and the second writes
  // the file with it; both read the same bytes, the second mostly from the system's cache.
  ChecksumSum sum;
  {
    fs::OwnedFile in = fs::OpenFile(input, "rb");
    if (!in || !CopyPatched(in.get(), nullptr, keep, layout, static_cast<std::uint32_t>(keep),
                            static_cast<std::uint32_t>(table.size()), 0, sum)) {
      *error = "cannot read " + input;
      return false;
    }
  }
  sum.Add(table.data(), table.size());
  const std::uint32_t checksum = sum.Finish(keep + table.size());
  return WriteReplacing(input, output, error, [&](std::FILE* in, std::FILE* out) {
    ChecksumSum again;
    return CopyPatched(in, out, keep, layout, static_cast<std::uint32_t>(keep),
                       static_cast<std::uint32_t>(table.size()), checksum, again) &&
           std::fwrite(table.data(), 1, table.size(), out) == table.size();
  });
}

bool WriteWithoutCertificateTable(const std::string& input, const PeLayout& layout,
                                  std::uint64_t keep, const std::string& output,
                                  std::string* error) {
  return WriteReplacing(input, output, error, [&](std::FILE* in, std::FILE* out) {
    ChecksumSum unused;
    return CopyPatched(in, out, keep, layout, 0, 0, 0, unused);
  });
}

}  // namespace ferrolan::pack
