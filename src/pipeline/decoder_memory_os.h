// The operating-system piece of decoder_memory.cpp, implemented in decoder_memory_win.cpp and
// decoder_memory_posix.cpp. Private to the pipeline library.
#pragma once

#include <cstddef>

namespace ferrolan::pipeline::detail {

/// Fresh zero-filled pages straight from the system, at least `size` bytes; nullptr when the
/// system has none.
void* MapPages(std::size_t size);

/// Gives pages from MapPages back to the system at once.
void UnmapPages(void* pages, std::size_t size);

}  // namespace ferrolan::pipeline::detail
