// The operating-system half of the marker search, implemented in find_marker_win.cpp and
// find_marker_posix.cpp. Private to the tail library.
#pragma once

#include <cstdint>
#include <cstdio>

namespace ferrolan::tail::detail {

/// Moves `stream` by `offset` bytes from its current position, with 64-bit offsets on both
/// platforms (`_fseeki64` on Windows, `fseeko` on POSIX). Returns true on success.
bool SeekFromCurrent(std::FILE* stream, std::int64_t offset);

/// The position of `stream` as a 64-bit offset from the start of its file (`_ftelli64` on
/// Windows, `ftello` on POSIX); -1 when it cannot be told.
std::int64_t CurrentOffset(std::FILE* stream);

}  // namespace ferrolan::tail::detail
