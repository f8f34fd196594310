#include "tail/stream_fields.h"

#include "archive/entry_format.h"
#include "tail/find_marker.h"

namespace ferrolan::tail {

std::optional<std::string> StreamFields::Next(int limit) {
  std::string value;
  for (;;) {
    const int c = std::fgetc(stream_);
    if (c == EOF) return std::nullopt;
    ++position_;
    if (c == 0) return value;
    value.push_back(static_cast<char>(c));
    if (value.size() >= static_cast<std::size_t>(limit)) return std::nullopt;
  }
}

bool StreamFields::Skip(std::uint64_t count) {
  if (count == 0) return true;
  if (!SeekFromCurrent(stream_, static_cast<std::int64_t>(count))) return false;
  position_ += count;
  return true;
}

std::optional<EntryHeader> ReadEntryHeader(StreamFields& fields) {
  EntryHeader header;
  std::optional<std::string> type = fields.Next(archive::kTypeFieldMax);
  if (!type || type->empty()) return std::nullopt;
  std::optional<std::string> path = fields.Next(archive::kPathFieldMax);
  if (!path) return std::nullopt;
  header.typeText = std::move(*type);
  header.type = archive::ParseEntryType(header.typeText);
  header.path = std::move(*path);
  if (header.type == static_cast<long>(archive::EntryType::kFolder)) return header;
  header.lengthText = fields.Next(archive::kLengthFieldMax);
  if (!header.lengthText) return std::nullopt;
  const std::optional<std::int32_t> length = archive::ParseEntryLength(*header.lengthText);
  if (!length) return std::nullopt;
  header.length = *length;
  return header;
}

}  // namespace ferrolan::tail
