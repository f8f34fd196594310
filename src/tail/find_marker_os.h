// The operating-system half of the marker search, implemented in find_marker_win.cpp and
// find_marker_posix.cpp. Private to the tail library.
#pragma once

#include <cstdint>
#include <cstdio>

namespace ferrolan::tail::detail {

/// Moves `stream` by `offset` bytes from its current position, with 64-bit offsets on both
/// platforms (`_fseeki64` on Windows, `fseeko` on POSIX). Returns true on success.
bool SeekFromCurrent(std::FILE* stream, std::int64_t offset);

}  // namespace ferrolan::tail::detail
