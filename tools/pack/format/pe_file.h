// The parts of a Windows PE file that carry its Authenticode signature: the certificate table
// (the file's last block, named by entry 4 of the optional header's data directory), the
// directory entry's size and the header's checksum. The hash a signature covers leaves out
// exactly these three, so a new certificate table can be written without re-signing: the bytes
// before the table stay as they are, except the two header fields.
//
// Platforms: portable; files are C runtime streams on both targets.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ferrolan::pack {

/// What kind of executable a launcher file is.
enum class ExecutableKind { kPe, kElf, kOther };

/// The signature-related places of a PE file.
struct PeLayout {
  std::uint64_t checksumOffset = 0;          // the optional header's CheckSum (4 bytes)
  std::uint64_t securityEntryOffset = 0;     // data directory entry 4: file offset, size (4 + 4)
  std::uint32_t certificateTableOffset = 0;  // 0 when unsigned
  std::uint32_t certificateTableSize = 0;    // 0 when unsigned
  bool signedFile() const { return certificateTableSize != 0; }
};

/// Looks at the first bytes of `path`: a PE image ("MZ" and a "PE\0\0" header), an ELF file, or
/// neither (also when the file cannot be read).
ExecutableKind ExecutableKindOf(const std::string& path);

/// Reads the PE headers of `path`. None, with `error` set, when the file is not a PE image, its
/// optional header has no certificate-table entry, or that entry points outside the file.
std::optional<PeLayout> ReadPeLayout(const std::string& path, std::string* error);

/// The WIN_CERTIFICATE structure that holds `pkcs7Der`: its 8-byte header (length, revision
/// 2.0, type PKCS_SIGNED_DATA), the DER and zero bytes up to a multiple of 8. The length field
/// counts the padding, as the signing tool writes it.
std::vector<std::uint8_t> EncodeCertificateTable(std::span<const std::uint8_t> pkcs7Der);

/// The PKCS #7 DER inside a certificate table (the first WIN_CERTIFICATE, padding and anything
/// after its declared length left out). None, with `error` set, for a damaged table.
std::optional<std::vector<std::uint8_t>> CertificateTableContent(
    std::span<const std::uint8_t> table, std::string* error);

/// Reads the certificate table of a signed file.
std::optional<std::vector<std::uint8_t>> ReadCertificateTable(const std::string& path,
                                                              const PeLayout& layout,
                                                              std::string* error);

/// The PE checksum of `bytes` taken as a whole file whose CheckSum field lies at
/// `checksumOffset` (its four bytes count as zero): the 16-bit little-endian words summed with
/// their carries folded back in, plus the file's length.
std::uint32_t PeChecksum(std::span<const std::uint8_t> bytes, std::uint64_t checksumOffset);

/// Writes `output`: the first `keep` bytes of `input` (the signed image and the alignment
/// padding before the table; a multiple of 8), then `table` as the certificate table. The data
/// directory names the table at `keep` with its size, and the checksum is that of the new file.
/// Anything of `input` beyond `keep` is left out. Written to "OUTPUT.partial" and renamed into
/// place, so a failure leaves `output` as it was. False, with `error` set, on failure.
bool WriteWithCertificateTable(const std::string& input, const PeLayout& layout, std::uint64_t keep,
                               std::span<const std::uint8_t> table, const std::string& output,
                               std::string* error);

/// Writes `output` as the first `keep` bytes of `input` with no certificate table (the data
/// directory entry cleared): the unsigned image a signing tool takes. Same failure rules.
bool WriteWithoutCertificateTable(const std::string& input, const PeLayout& layout,
                                  std::uint64_t keep, const std::string& output,
                                  std::string* error);

}  // namespace ferrolan::pack
