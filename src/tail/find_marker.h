// The marker search: finds a fixed byte string in an open C runtime stream.
#pragma once

#include <cstdint>
#include <cstdio>

namespace ferrolan::tail {

/// Searches `stream` from its current position for the first occurrence of the `length` bytes
/// at `marker` (which may contain zero bytes). Returns the number of bytes consumed, that is
/// the distance from the starting position to the first byte after the marker, and leaves the
/// stream positioned exactly there. When the stream ends (or fails) first, logs
/// "Could not find marker: %s\n" with `label` and returns -1; the stream is then at its end.
///
/// Every occurrence is found, including one that follows a byte equal to the marker's first
/// byte. The stream is read in large blocks, so a search over a file of hundreds of megabytes
/// is one fast pass; the bytes read beyond the marker are given back by seeking.
std::int64_t FindMarker(std::FILE* stream, const std::uint8_t* marker, int length,
                        const char* label);

/// The same search without the failure message: returns -1 quietly when the stream ends first.
/// For callers that try a shortcut first and fall back to a full search, which reports.
std::int64_t SearchMarker(std::FILE* stream, const std::uint8_t* marker, int length);

/// Moves `stream` by `offset` bytes from its current position, with 64-bit offsets on both
/// platforms, so launcher files beyond 2 GiB can be walked. Returns true on success.
bool SeekFromCurrent(std::FILE* stream, std::int64_t offset);

/// The position of `stream` as a 64-bit offset from the start of its file; -1 when it cannot
/// be told.
std::int64_t CurrentOffset(std::FILE* stream);
}  // namespace ferrolan::tail
