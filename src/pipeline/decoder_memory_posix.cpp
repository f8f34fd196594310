#include <sys/mman.h>

#include "pipeline/decoder_memory_os.h"

namespace ferrolan::pipeline::detail {

void* MapPages(std::size_t size) {
  void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return pages == MAP_FAILED ? nullptr : pages;
}

void UnmapPages(void* pages, std::size_t size) { munmap(pages, size); }

}  // namespace ferrolan::pipeline::detail
