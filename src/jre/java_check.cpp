#include "jre/java_check.h"

#include <cstdint>
#include <limits>

#include "jre/java_check_os.h"
#include "log/log.h"

namespace ferrolan::jre {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a number the way atoi does (leading blanks, a sign, the leading digits; 0 for none),
// but saturates instead of overflowing: the required version comes from the payload, and an
// absurdly long number must not turn into undefined behaviour.
std::int64_t ReadLikeAtoi(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
  std::int64_t value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kLimit) value = kLimit;
  }
  return negative ? -value : value;
}

// The detected release as text, "0" when the version cannot be read.
std::string DetectedRelease(const std::string& javaPath) {
  std::optional<FixedVersion> fixed = detail::ReadFixedVersion(javaPath);
  if (!fixed) return "0";
  if (fixed->signature != kFixedVersionSignature) {
    log::LogPrintf("[JavaCheck] signature is wrong\n");
    return "0";
  }
  log::LogPrintf("[JavaCheck] file version MS is %ld\n",
                 static_cast<long>(fixed->productVersionMS));
  log::LogPrintf("[JavaCheck] file version LS is %ld\n",
                 static_cast<long>(fixed->productVersionLS));
  return std::to_string(fixed->productVersionMS >> 16);
}

}  // namespace

int JavaCheck(const std::string& javaPath, const std::optional<std::string>& requiredVersion) {
  log::LogPrintf("[JavaCheck] Checking file version of %s\n", javaPath.c_str());
  std::string detected = DetectedRelease(javaPath);
  if (!requiredVersion) {
    log::LogPrintf("[Extractor] Versions for JREs could not be detected (%d,%d)\n", 0, 1);
    return 0;
  }
  log::LogPrintf("[Extractor] Checking JRE version requirements: %s vs required %s\n",
                 detected.c_str(), requiredVersion->c_str());
  return ReadLikeAtoi(detected) >= ReadLikeAtoi(*requiredVersion) ? 1 : 0;
}

std::optional<std::string> ReleaseJavaVersion(std::string_view releaseContent) {
  constexpr std::string_view kKey = "JAVA_VERSION=";
  std::size_t start = 0;
  while (start <= releaseContent.size()) {
    std::size_t end = releaseContent.find('\n', start);
    if (end == std::string_view::npos) end = releaseContent.size();
    std::string_view line = releaseContent.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.substr(0, kKey.size()) == kKey) {
      std::string_view value = line.substr(kKey.size());
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
      }
      return std::string(value);
    }
    start = end + 1;
  }
  return std::nullopt;
}

FixedVersion FixedVersionFromText(std::string_view text) {
  FixedVersion version;
  if (text.empty() || !IsDigit(text.front())) return version;
  version.signature = kFixedVersionSignature;
  std::uint32_t parts[4] = {0, 0, 0, 0};
  std::size_t count = 0;
  std::size_t i = 0;
  while (i < text.size() && count < 4) {
    if (!IsDigit(text[i])) {
      ++i;
      continue;
    }
    std::uint32_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
      value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
      if (value > 0xFFFF) value = 0xFFFF;  // a resource part has 16 bits
    }
    parts[count++] = value;
  }
  version.productVersionMS = (parts[0] << 16) | parts[1];
  version.productVersionLS = (parts[2] << 16) | parts[3];
  return version;
}

}  // namespace ferrolan::jre
