// The signed metadata of an update folder: which release of each component the folder offers
// (version, archive name, length and SHA-256), under which terms (expiry, critical flag,
// minimum version, roll-out share), and a metadata version that only grows. The packager's
// publish writes it; the launcher reads it before it downloads anything from the folder.
//
// The file is text, one "key=value" line per field in a fixed order, ended by a line
// "signature=<hex>": an RSASSA-PSS signature, made like an archive's, over the mixed digest of
// every byte before that line. A reader checks the signature before it parses a single field,
// and it accepts only the exact order and spelling the writer produces, so there is one
// encoding of any content.
//
// Platforms: identical on Windows and POSIX.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ferrolan::archive {

class PublicKey;
class SigningKey;

/// The metadata file's name in the update folder, beside the version files and archives.
inline constexpr const char* kUpdateMetadataFileName = "Ferrolan-update.meta";

/// The longest metadata file a reader accepts; a download of it stops here.
inline constexpr std::uint64_t kMaxUpdateMetadataBytes = 64 * 1024;

/// The first line of every metadata file: the format and its revision.
inline constexpr std::string_view kUpdateMetadataHeader = "Ferrolan update metadata 1";

/// The start of the last line, which carries the signature in hex.
inline constexpr std::string_view kUpdateMetadataSignatureKey = "signature=";

/// The components an update folder offers, in the order of the file.
enum class UpdateComponentKind { kUpdater, kJre, kApp };

/// "updater", "jre" or "app": the key prefix of the component's fields.
const char* UpdateComponentKey(UpdateComponentKind kind);

/// One component's newest release.
struct UpdateComponent {
  UpdateComponentKind kind = UpdateComponentKind::kApp;
  std::string name;     // the component name in folder and file names
  std::string version;  // decimal digits, as in folder names
  std::string archive;  // the archive's file name in the update folder
  std::uint64_t length = 0;
  std::string sha256;  // 64 lower-case hex digits of the archive file's SHA-256
};

/// The metadata's content.
struct UpdateMetadata {
  std::string appName;
  std::uint64_t metadataVersion = 0;
  std::uint64_t expires = 0;  // seconds since 1970-01-01 UTC
  bool critical = false;
  std::string minimumVersion;  // the application's; empty for none
  int rollout = 100;           // percent of installations offered this release, 0 to 100
  std::vector<UpdateComponent> components;  // each kind at most once, in the order above

  /// The component of this kind, or null.
  const UpdateComponent* Find(UpdateComponentKind kind) const;
};

/// The text of `metadata` without its signature line. Empty when a field cannot be written so
/// that the reader would give it back (a name with a line break, a version without digits).
std::string EncodeUpdateMetadata(const UpdateMetadata& metadata);

/// The whole file: the encoded metadata followed by its signature line. Empty on failure.
std::string SignUpdateMetadata(const UpdateMetadata& metadata, const SigningKey& key);

/// `text` followed by the signature line over it, whatever it holds (tests sign texts the
/// encoder would not write). Empty on failure.
std::string SignMetadataText(std::string text, const SigningKey& key);

/// Why a metadata file was refused, or kOk.
enum class MetadataStatus {
  kOk,
  kTooLong,       // more than kMaxUpdateMetadataBytes
  kNoSignature,   // no signature line at its end
  kBadSignature,  // the signature does not verify with the key (or there is no key)
  kMalformed,     // signed, but not in the form the writer produces
};

/// What reading a metadata file gave: the content when the status is kOk, else a short
/// explanation for the log.
struct MetadataReading {
  MetadataStatus status = MetadataStatus::kMalformed;
  UpdateMetadata metadata;
  std::string problem;
};

/// Verifies the file's signature with `key` and, only then, reads its fields.
MetadataReading ReadUpdateMetadata(std::string_view file, const PublicKey* key);

/// True for a version as folder names carry it: 1 to 19 decimal digits.
bool IsVersionText(std::string_view text);

/// The integer value of a version text (IsVersionText); 0 otherwise.
std::uint64_t VersionValue(std::string_view text);

}  // namespace ferrolan::archive
