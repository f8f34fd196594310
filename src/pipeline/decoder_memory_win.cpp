#include <windows.h>

#include "pipeline/decoder_memory_os.h"

namespace ferrolan::pipeline::detail {

void* MapPages(std::size_t size) {
  return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void UnmapPages(void* pages, std::size_t) { VirtualFree(pages, 0, MEM_RELEASE); }

}  // namespace ferrolan::pipeline::detail
