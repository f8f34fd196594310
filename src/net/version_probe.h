// The version-file probe: fetches one component's version file from the update server into a
// local folder. Its purpose is the race it runs: the proxy that reaches the update server is
// recorded as the working proxy, which the main flow stores for the application. What the file
// says is not read here.
//
// Platforms: portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/download_race.h"

namespace ferrolan::net {

/// An update URL beginning with this says that the build has no update server.
inline constexpr char kNoUpdateServerUrl[] = "http://0.0.254.254";

/// The longest version file any download accepts. A version is eleven digits, perhaps followed
/// by a line end; 4 KiB leaves room for a server that adds blanks or a comment, and stops a
/// hostile or broken one long before it harms anything.
inline constexpr std::uint64_t kMaxVersionFileBytes = 4096;

/// The longest local path and request URL the probe forms; longer ones are refused with a
/// message instead of being cut into another name.
inline constexpr std::size_t kMaxProbePath = 5015;
inline constexpr std::size_t kMaxProbeUrl = 5007;

/// The current time in milliseconds since 1970 (UTC), kept to its low 32 bits, as decimal text:
/// the "?time=" stamp every version-file request carries, so no cache answers it.
std::string MillisText();

/// What the probe did.
enum class ProbeOutcome {
  kSkipped,     // the build has no update server
  kRefused,     // the path or the URL would be too long
  kFetched,     // the file was downloaded into the folder
  kNotFetched,  // the download failed
};

/// Fetches "Ferrolan-<component>-version.txt" from `updateUrl` (which carries its own trailing
/// separator) with a "?time=" stamp into `folder`. Every outcome is logged; the main flow goes
/// on whatever it is.
ProbeOutcome ProbeVersionFile(const std::string& folder, const std::string& updateUrl,
                              const std::string& component,
                              const RaceEnvironment& environment = SystemRaceEnvironment());

}  // namespace ferrolan::net
