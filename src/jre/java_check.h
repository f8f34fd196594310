// JavaCheck: whether a JRE's java executable is at least a required Java release.
//
// Platforms: Windows reads the product version from the version resource of java.exe
// (version.dll). POSIX reads JAVA_VERSION from the JRE's "release" file and turns it into the
// same four-part product version. Both use the same rule for the release number: the first
// part of the product version. A Java 8 runtime that calls itself "1.8.0" therefore counts as
// release 1 and fails a requirement of 8; one that calls itself "8.0.x" passes. The rule is
// kept as it is so that both platforms accept exactly the same JREs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ferrolan::jre {

/// 1 when the release number of the java executable at javaPath is at least the required
/// release, else 0. Both are compared as numbers read the way atoi reads them, so an
/// unreadable version counts as 0 and an empty requirement accepts every JRE. An absent
/// requirement (none) rejects every JRE. Logs every step under "[JavaCheck] " and the
/// comparison under "[Extractor] ".
int JavaCheck(const std::string& javaPath, const std::optional<std::string>& requiredVersion);

/// The fixed part of a version resource: its signature and the product version's two halves,
/// each half holding two 16-bit parts (major.minor in MS, patch.build in LS).
struct FixedVersion {
  std::uint32_t signature = 0;
  std::uint32_t productVersionMS = 0;
  std::uint32_t productVersionLS = 0;
};
inline constexpr std::uint32_t kFixedVersionSignature = 0xFEEF04BD;

/// The value of the JAVA_VERSION line of a JRE's "release" file, without its quotes; none
/// when the file has no such line.
std::optional<std::string> ReleaseJavaVersion(std::string_view releaseContent);

/// A version text such as "17.0.15" or "1.8.0_392" as a product version: its first four runs
/// of digits, each capped at 65535. The signature is valid only when the text starts with a
/// digit; anything else is not a version.
FixedVersion FixedVersionFromText(std::string_view text);

}  // namespace ferrolan::jre
