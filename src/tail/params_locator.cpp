#include "tail/params_locator.h"

#include <cstddef>
#include <string>

#include "tail/find_marker.h"
#include "tail/markers.h"
#include "tail/tail_reader.h"

namespace ferrolan::tail {
namespace {

// Entry header limits, as the launcher's entry reader applies them (buffer sizes, so a value
// and its NUL must fit).
constexpr int kTypeLimit = 1024;
constexpr int kPathLimit = 1024;
constexpr int kLengthLimit = 40;
constexpr std::int64_t kMaxEntryLength = 2147483647;

// Reads one NUL-terminated field straight from the stream. False when the stream ends first or
// the value does not fit in `limit` bytes with its NUL: the walk then gives up.
bool ReadField(std::FILE* stream, int limit, std::string& value) {
  value.clear();
  for (;;) {
    const int c = std::fgetc(stream);
    if (c == EOF) return false;
    if (c == 0) return true;
    value.push_back(static_cast<char>(c));
    if (value.size() >= static_cast<std::size_t>(limit)) return false;
  }
}

// A length field as the format defines it: decimal digits only, at most 2^31 - 1.
bool ParseLength(const std::string& text, std::int64_t& length) {
  if (text.empty() || text.size() > 10) return false;
  length = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    length = length * 10 + (c - '0');
  }
  return length <= kMaxEntryLength;
}

// Steps over the tail fields and the entries they announce. True when the stream stands at the
// end of the last entry. Only header bytes are read; contents are skipped by seeking.
bool SkipTail(std::FILE* stream) {
  const auto& marker = TailMarker();
  if (SearchMarker(stream, marker.data(), kTailMarkerLength) < 0) return false;
  TailFields fields;
  for (const TailFieldDescription& field : kTailFieldLayout) {
    if (!ReadField(stream, field.limit, fields.*field.member)) return false;
  }
  int entries = 5 + (fields.jreVersion.empty() ? 0 : 1) + (fields.appVersion.empty() ? 0 : 2);
  std::string type;
  std::string path;
  std::string lengthText;
  for (; entries > 0; --entries) {
    if (!ReadField(stream, kTypeLimit, type) || !ReadField(stream, kPathLimit, path)) {
      return false;
    }
    // The packager writes exactly one of these three; anything else means the announced
    // entries are not where they should be, and only the full search is trustworthy.
    if (type == "1") continue;  // a folder has no length and no content
    if (type != "0" && type != "2") return false;
    std::int64_t length = 0;
    if (!ReadField(stream, kLengthLimit, lengthText) || !ParseLength(lengthText, length)) {
      return false;
    }
    if (length > 0 && !SeekFromCurrent(stream, length)) return false;
  }
  return true;
}

}  // namespace

bool LocateParamsMarker(std::FILE* stream) {
  const auto& marker = ParamsMarker();
  if (SkipTail(stream) && SearchMarker(stream, marker.data(), kParamsMarkerLength) >= 0) {
    return true;
  }
  // The shortcut did not apply: the full search from the first byte, which reports a miss.
  if (std::fseek(stream, 0, SEEK_SET) != 0) return false;
  std::clearerr(stream);
  return FindMarker(stream, marker.data(), kParamsMarkerLength, "Params") >= 0;
}

}  // namespace ferrolan::tail
