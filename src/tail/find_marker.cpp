#include "tail/find_marker.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "log/log.h"
#include "tail/find_marker_os.h"

namespace ferrolan::tail {
namespace {

// Reads of 256 KiB: large enough that the per-read cost vanishes and the C runtime hands the
// file straight to our buffer, small enough that the bytes are still in the processor's
// second-level cache when they are searched right after the copy.
constexpr std::size_t kBlockSize = std::size_t{256} << 10;

// The first 64-byte (cache line) boundary at or after p.
std::uint8_t* AlignUp(std::uint8_t* p) {
  auto address = reinterpret_cast<std::uintptr_t>(p);
  return p + ((64 - address % 64) % 64);
}

// A sampling search. Every window of m bytes contains exactly one of the positions m - 1,
// 2m - 1, 3m - 1, ... of the buffer, so it is enough to look at those bytes: a byte that does
// not occur in the marker rules out every window around it, and a byte that does names the few
// window starts (one per occurrence of that byte in the marker) worth comparing. The loads are
// independent of each other, unlike a skip search whose next position depends on the byte just
// read, so the processor can run ahead; for markers made of a few distinct byte values most
// samples are dismissed by one table lookup.
class SampledSearch {
 public:
  SampledSearch(const std::uint8_t* marker, std::size_t length)
      : marker_(marker), length_(length), offsets_(length) {
    // Group the marker positions by byte value, each group in decreasing order, so that the
    // candidates of one sample come out in increasing window order.
    std::array<std::size_t, 257> counts{};
    for (std::size_t k = 0; k < length; ++k) ++counts[marker[k] + 1u];
    for (std::size_t c = 0; c < 256; ++c) counts[c + 1] += counts[c];
    begin_ = counts;
    for (std::size_t k = length; k-- > 0;) offsets_[counts[marker[k]]++] = k;
  }

  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  // The start of the first window in data[0, size) that holds the marker, or kNone.
  std::size_t Scan(const std::uint8_t* data, std::size_t size) const {
    if (size < length_) return kNone;
    const std::size_t lastStart = size - length_;
    for (std::size_t p = length_ - 1; p < size; p += length_) {
      const std::uint8_t c = data[p];
      for (std::size_t i = begin_[c]; i < begin_[c + 1u]; ++i) {
        // p >= length - 1 >= offset, so the start never lies before the buffer.
        const std::size_t start = p - offsets_[i];
        if (start > lastStart) break;
        if (std::memcmp(data + start, marker_, length_) == 0) return start;
      }
    }
    return kNone;
  }

  // Windows from here on reach past `size` and were not tested; their bytes must be kept.
  std::size_t FirstUntested(std::size_t size) const {
    return size >= length_ ? size - length_ + 1 : 0;
  }

 private:
  const std::uint8_t* marker_;
  std::size_t length_;
  std::array<std::size_t, 257> begin_{};
  std::vector<std::size_t> offsets_;
};

}  // namespace

std::int64_t SearchMarker(std::FILE* stream, const std::uint8_t* marker, int length) {
  if (stream == nullptr || marker == nullptr || length <= 0) return -1;
  const auto m = static_cast<std::size_t>(length);
  const SampledSearch search(marker, m);
  // Each block is read to the same cache-line-aligned place, after a front area that takes
  // the fewer than m untested bytes of the previous block, so a marker that straddles two
  // reads is still seen whole. (Copying into an unaligned destination costs the kernel more.)
  const std::size_t front = (m + 63) / 64 * 64;
  std::unique_ptr<std::uint8_t[]> storage(new std::uint8_t[front + kBlockSize + 64]);
  std::uint8_t* const block = AlignUp(storage.get()) + front;
  std::size_t kept = 0;      // untested bytes in front of `block`
  std::int64_t blockAt = 0;  // offset of block[0] from where the search began
  for (;;) {
    const std::size_t got = std::fread(block, 1, kBlockSize, stream);
    if (got == 0) break;
    const std::uint8_t* data = block - kept;
    const std::size_t size = kept + got;
    const std::size_t at = search.Scan(data, size);
    if (at != SampledSearch::kNone) {
      const std::size_t end = at + m;
      // Give back what was read beyond the marker, so the caller reads on from right there.
      const auto unread = static_cast<std::int64_t>(size - end);
      if (unread > 0 && !SeekFromCurrent(stream, -unread)) break;
      return blockAt - static_cast<std::int64_t>(kept) + static_cast<std::int64_t>(end);
    }
    const std::size_t keepFrom = search.FirstUntested(size);
    const std::size_t newKept = size - keepFrom;
    std::memmove(block - newKept, data + keepFrom, newKept);
    kept = newKept;
    blockAt += static_cast<std::int64_t>(got);
  }
  return -1;
}

bool SeekFromCurrent(std::FILE* stream, std::int64_t offset) {
  return detail::SeekFromCurrent(stream, offset);
}

std::int64_t CurrentOffset(std::FILE* stream) { return detail::CurrentOffset(stream); }

std::int64_t FindMarker(std::FILE* stream, const std::uint8_t* marker, int length,
                        const char* label) {
  const std::int64_t consumed = SearchMarker(stream, marker, length);
  if (consumed < 0) log::LogPrintf("Could not find marker: %s\n", label);
  return consumed;
}

}  // namespace ferrolan::tail
