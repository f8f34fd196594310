// Reading the payload's NUL-terminated fields straight from a stream, without a reader thread:
// for the walks that only look at the tail (finding the Params section, the packager's
// "inspect"), where seeking past entry contents beats streaming them.
//
// Platforms: identical; only the C runtime's 64-bit seek differs (find_marker's SeekFromCurrent).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace ferrolan::tail {

/// A stream read field by field, counting the bytes it consumed from `position` on.
class StreamFields {
 public:
  explicit StreamFields(std::FILE* stream, std::uint64_t position = 0)
      : stream_(stream), position_(position) {}

  /// The next field. None when the stream ends first or the value and its NUL do not fit in
  /// `limit` bytes (the limits of the launcher's field buffers).
  std::optional<std::string> Next(int limit);

  /// Moves `count` bytes on without reading them. False when the seek fails.
  bool Skip(std::uint64_t count);

  std::uint64_t position() const { return position_; }

 private:
  std::FILE* stream_;
  std::uint64_t position_;
};

/// The header of one entry (archive/entry_format.h): type, path and, unless the type reads as
/// a folder, the length field with its value.
struct EntryHeader {
  std::string typeText;
  long type = 0;  // as the reader takes it: atoi of typeText
  std::string path;
  std::optional<std::string> lengthText;
  std::int32_t length = 0;  // 0 for a folder
};

/// Reads an entry header. None when a field is cut short or over its limit, the type is empty,
/// or the length is not a valid length.
std::optional<EntryHeader> ReadEntryHeader(StreamFields& fields);

}  // namespace ferrolan::tail
