#include "pipeline/decoder_memory.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "pipeline/decoder_memory_os.h"

namespace ferrolan::pipeline {
namespace {

constexpr std::size_t kLargeBlock = std::size_t{1} << 20;

// Every block starts with a header that tells the free function where the block came from.
struct alignas(std::max_align_t) Header {
  std::size_t mappedSize;  // the size of the system mapping; 0 for the C heap
};

std::atomic<std::size_t> g_held{0};
std::atomic<std::size_t> g_mapped{0};

void* LZMA_API_CALL Allocate(void*, std::size_t count, std::size_t size) {
  if (size != 0 && count > (SIZE_MAX - sizeof(Header)) / size) return nullptr;
  const std::size_t bytes = count * size + sizeof(Header);
  if (bytes < kLargeBlock) {
    void* memory = std::malloc(bytes);
    return memory == nullptr ? nullptr : new (memory) Header{0} + 1;
  }
  void* pages = detail::MapPages(bytes);
  if (pages == nullptr) return nullptr;
  g_held.fetch_add(1, std::memory_order_relaxed);
  g_mapped.fetch_add(1, std::memory_order_relaxed);
  return new (pages) Header{bytes} + 1;
}

void LZMA_API_CALL Free(void*, void* block) {
  if (block == nullptr) return;
  Header* header = static_cast<Header*>(block) - 1;
  if (header->mappedSize == 0) {
    std::free(header);
    return;
  }
  g_held.fetch_sub(1, std::memory_order_relaxed);
  detail::UnmapPages(header, header->mappedSize);
}

const lzma_allocator kAllocator{&Allocate, &Free, nullptr};

}  // namespace

const lzma_allocator* DecoderAllocator() { return &kAllocator; }

std::size_t DecoderLargeBlocksHeld() { return g_held.load(std::memory_order_relaxed); }

std::size_t DecoderLargeBlocksMapped() { return g_mapped.load(std::memory_order_relaxed); }

}  // namespace ferrolan::pipeline
