// The packaged launcher file: the launcher image, then the wrapper tail (tail marker, eleven
// fields, entries), then the Params section (Params marker, count, name/value pairs). This is
// the writing side used by "build" and "stamp"; payload_reader.h reads the same layout back.
//
// Marker placement. A launcher finds each marker by scanning its own file from the first byte
// with a matcher that, on a mismatch, starts over without testing the mismatching byte again.
// Such a matcher misses a marker that follows a byte which begins a partial match (for
// example a byte equal to the marker's first byte). The writer therefore looks at the byte
// that precedes each marker and, when that byte occurs anywhere in the marker, puts one guard
// byte (a value the marker does not contain) in between; the launcher never reads the bytes
// between the image and the tail marker or between the last entry and the Params marker.
// After writing, both markers are searched for the way a launcher does and must be found
// exactly where they were placed (a copy inside the image would be found first).
//
// Platforms: portable; files are C runtime streams on both targets.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tail/tail_reader.h"

namespace ferrolan::pack {

using Param = std::pair<std::string, std::string>;

/// The number of digits versions are written with.
inline constexpr std::size_t kVersionDigits = 11;

/// A version given as decimal digits (1 to 11 of them) in the form the packager writes:
/// eleven digits with leading zeros. None for anything else.
std::optional<std::string> NormalizeVersion(std::string_view text);

/// Writes a version file as the launcher reads it: the version's digits and no line end, the
/// same bytes in the tail and on an update server. False when the file cannot be written.
bool WriteVersionFile(const std::string& path, const std::string& version);

/// A byte that does not occur in `marker` (the lowest such value).
std::uint8_t GuardByte(std::span<const std::uint8_t> marker);

/// True when `previous`, as the byte right before `marker`, could hide it from the launcher's
/// search, i.e. when it occurs anywhere in the marker.
bool NeedsGuardByte(std::uint8_t previous, std::span<const std::uint8_t> marker);

/// Checks a Params name and value against the launcher's limits (a name of 1 to 1023 bytes, a
/// value below 200,000 bytes, no NUL in either). Empty when fine, else the problem.
std::string CheckParam(const Param& param);

/// Count and pairs of a Params section, without the marker: the count as decimal text and
/// every name and value, each followed by one NUL.
std::string EncodeParamsSection(const std::vector<Param>& params);

/// Checks every tail field against its limit and against NUL bytes. Empty when fine.
std::string CheckTailFields(const tail::TailFields& fields);

/// One file of the wrapper tail: its entry name and the file on disk that holds its content.
struct TailEntrySource {
  std::string name;
  std::string sourceFile;
};

/// Everything a packaged launcher is made of.
struct LauncherPayload {
  std::string imagePath;  // the bare launcher executable
  tail::TailFields fields;
  std::vector<TailEntrySource> entries;  // in the order the launcher consumes them
  std::vector<Param> params;
};

/// Where the pieces landed in the written file (byte offsets).
struct PayloadLayout {
  std::uint64_t imageSize = 0;
  std::uint64_t tailMarkerOffset = 0;
  std::uint64_t paramsMarkerOffset = 0;
  std::uint64_t fileSize = 0;
};

/// Writes the packaged launcher to `output` (through "OUTPUT.partial", renamed when complete
/// and checked, so an older file of that name survives a failure; executable where the system
/// has such a permission). On failure returns none and sets `error`.
std::optional<PayloadLayout> WriteLauncherFile(const LauncherPayload& payload,
                                               const std::string& output, std::string* error);

/// True when the launcher's own search finds the marker first at `markerOffset` in `path`.
bool MarkerFoundAt(const std::string& path, std::span<const std::uint8_t> marker,
                   std::uint64_t markerOffset);

}  // namespace ferrolan::pack
