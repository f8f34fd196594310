// Reading a packaged launcher back: the tail fields, the tail entries (without extracting
// them), the Params section, and the signature check of every archive carried in the tail.
// "inspect" shows what it finds; "stamp" uses the Params location to rewrite that section
// alone. The markers are found the way the launcher finds them, from the first byte of the
// file, so what is read here is what a launcher would read.
//
// Platforms: portable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/signature.h"
#include "pack/format/payload_writer.h"
#include "tail/tail_reader.h"

namespace ferrolan::pack {

/// The Params section of a launcher file.
struct ParamsSection {
  std::uint64_t markerOffset = 0;  // first byte of the Params marker
  std::uint64_t start = 0;         // first byte after the marker (the count)
  std::uint64_t end = 0;           // first byte after the last pair
  std::vector<Param> params;
};

/// Finds and reads the Params section. None (with `error`) when the marker is missing or the
/// count or a pair cannot be read within the launcher's limits.
std::optional<ParamsSection> ReadParamsSection(const std::string& path, std::string* error);

/// One entry of the wrapper tail.
struct TailEntryInfo {
  long type = 0;
  std::string path;
  std::int64_t length = 0;          // content bytes (0 for a folder)
  std::uint64_t contentOffset = 0;  // where the content starts in the file
};

struct LauncherContents {
  std::uint64_t fileSize = 0;
  std::uint64_t tailMarkerOffset = 0;
  tail::TailFields fields;
  std::vector<TailEntryInfo> entries;
  std::uint64_t entriesEnd = 0;
  ParamsSection params;
};

/// Reads the whole layout. None (with `error`) when a marker is missing, a field or entry
/// header is cut short or over its limit, or the entries run past the end of the file.
std::optional<LauncherContents> ReadLauncherContents(const std::string& path, std::string* error);

/// The outcome of checking one archive carried as a tail entry.
struct ArchiveCheck {
  bool ok = false;
  bool hasSignature = false;
  int files = 0;
  int folders = 0;
  std::uint64_t bytes = 0;  // uncompressed bytes before the signature block
  std::string message;      // what was found, or why the check failed
};

/// Decompresses the archive stored at [offset, offset + length) of `path`, reads its entries
/// without writing anything, hashes every byte before the signature block and checks the
/// signature with `key`. Mirrors what a launcher accepts: with a key every archive must carry
/// a valid signature; a signature block without a key is refused; without either the archive
/// is accepted unchecked.
ArchiveCheck CheckCarriedArchive(const std::string& path, std::uint64_t offset,
                                 std::uint64_t length, const archive::PublicKey* key);

/// Extracts the archive stored at [offset, offset + length) of `path` into `folder`, which must
/// exist, checking it with `key` as the launcher does. False, with `error` set, when it fails.
bool ExtractCarriedArchive(const std::string& path, std::uint64_t offset, std::uint64_t length,
                           const archive::PublicKey* key, const std::string& folder,
                           std::string* error);

/// Imports the tail's "Signature Public Key" hex text. Null for empty or unusable text.
std::unique_ptr<archive::PublicKey> ImportTailKey(const std::string& hexText);

}  // namespace ferrolan::pack
