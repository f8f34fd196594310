#include "tail/params_locator.h"

#include <cstddef>
#include <string>

#include "log/log.h"
#include "tail/find_marker.h"
#include "tail/markers.h"
#include "tail/payload_layout.h"
#include "tail/stream_fields.h"
#include "tail/tail_reader.h"

namespace ferrolan::tail {
namespace {

// Steps over the tail fields and the entries they announce. True when the stream stands at the
// end of the last entry. Only header bytes are read; contents are skipped by seeking.
bool SkipTail(std::FILE* stream) {
  const auto& marker = TailMarker();
  if (SearchMarker(stream, marker.data(), kTailMarkerLength) < 0) return false;
  StreamFields source(stream);
  TailFields fields;
  for (const TailFieldDescription& field : kTailFieldLayout) {
    std::optional<std::string> value = source.Next(field.limit);
    if (!value) return false;
    fields.*field.member = std::move(*value);
  }
  for (std::size_t entries = TailEntriesFor(fields).size(); entries > 0; --entries) {
    std::optional<EntryHeader> header = ReadEntryHeader(source);
    // The packager writes exactly one of these three types; anything else means the announced
    // entries are not where they should be, and only the full search is trustworthy.
    if (!header ||
        (header->typeText != "0" && header->typeText != "1" && header->typeText != "2")) {
      return false;
    }
    if (!source.Skip(static_cast<std::uint64_t>(header->length))) return false;
  }
  return true;
}

}  // namespace

std::int64_t ParamsMarkerOffset(std::FILE* stream) {
  const auto& marker = ParamsMarker();
  bool found = SkipTail(stream) && SearchMarker(stream, marker.data(), kParamsMarkerLength) >= 0;
  if (!found) {
    // The shortcut did not apply: the full search from the first byte.
    if (std::fseek(stream, 0, SEEK_SET) != 0) return -1;
    std::clearerr(stream);
    found = SearchMarker(stream, marker.data(), kParamsMarkerLength) >= 0;
  }
  if (!found) return -1;
  const std::int64_t after = CurrentOffset(stream);
  return after < kParamsMarkerLength ? -1 : after - kParamsMarkerLength;
}

bool LocateParamsMarker(std::FILE* stream) {
  if (ParamsMarkerOffset(stream) >= 0) return true;
  log::LogPrintf("Could not find marker: %s\n", "Params");
  return false;
}

}  // namespace ferrolan::tail
