#include "pipeline/ring_buffer.h"

#include <algorithm>
#include <cstring>

namespace ferrolan::pipeline {

RingBuffer::RingBuffer(int id, int capacity)
    : id_(id), capacity_(capacity), data_(static_cast<std::size_t>(std::max(capacity, 1)), 0) {}

int RingBuffer::UsedLocked() const {
  if (end_ == -1) return 0;
  if (end_ == start_) return capacity_;
  if (end_ > start_) return end_ - start_;
  return capacity_ - start_ + end_;
}

int RingBuffer::Used() const {
  std::lock_guard<std::mutex> guard(lock_);
  return UsedLocked();
}
int RingBuffer::Start() const {
  std::lock_guard<std::mutex> guard(lock_);
  return start_;
}
int RingBuffer::End() const {
  std::lock_guard<std::mutex> guard(lock_);
  return end_;
}
bool RingBuffer::Closed() const {
  std::lock_guard<std::mutex> guard(lock_);
  return closed_;
}

void RingBuffer::CopyOut(char* destination, int n) {
  int used = UsedLocked();
  int first = std::min(n, capacity_ - start_);
  std::memcpy(destination, data_.data() + start_, static_cast<std::size_t>(first));
  if (n > first)
    std::memcpy(destination + first, data_.data(), static_cast<std::size_t>(n - first));
  if (n == used) {
    start_ = 0;
    end_ = -1;
  } else {
    start_ = (start_ + n) % capacity_;
  }
}

std::shared_ptr<RingBuffer> RingBuffer_create(int id, int capacity) {
  return std::make_shared<RingBuffer>(id, capacity);
}

void RingBuffer::StoreLocked(const char* bytes, int length) {
  if (end_ < start_) {
    // Empty (end is -1) or wrapped: the free space is one piece.
    if (end_ == -1) end_ = start_;
    int first = std::min(length, capacity_ - end_);
    std::memcpy(data_.data() + end_, bytes, static_cast<std::size_t>(first));
    if (length > first)
      std::memcpy(data_.data(), bytes + first, static_cast<std::size_t>(length - first));
  } else {
    int first = std::min(length, capacity_ - end_);
    std::memcpy(data_.data() + end_, bytes, static_cast<std::size_t>(first));
    std::memcpy(data_.data(), bytes + first, static_cast<std::size_t>(length - first));
  }
  end_ = (end_ + length) % capacity_;
  dataEvent_.notify_one();
}

int RingBuffer_write(RingBuffer& b, const void* source, int length) {
  if (length <= 0) return 0;
  const char* bytes = static_cast<const char*>(source);
  int left = length;
  std::unique_lock<std::mutex> guard(b.lock_);
  for (;;) {
    const int free = b.capacity_ - b.UsedLocked();
    if (free >= left) break;
    if (b.closed_) return -1;
    if (b.fieldWaiting_ && free > 0) {
      // The reader holds the start of a field and can make no room before the field's end
      // arrives, which may be in these very bytes: waiting for room here would leave both sides
      // waiting for good. Hand over what fits; the reader then finds the end or sees a full
      // buffer, which it refuses.
      b.StoreLocked(bytes, free);
      bytes += free;
      left -= free;
      continue;
    }
    b.spaceEvent_.wait(guard);
  }
  b.StoreLocked(bytes, left);
  return length;
}

int RingBuffer_read(RingBuffer& b, void* destination, int maximum) {
  std::unique_lock<std::mutex> guard(b.lock_);
  while (b.UsedLocked() == 0 && !b.closed_) b.dataEvent_.wait(guard);
  int used = b.UsedLocked();
  int result = -1;
  if (used > 0 && maximum > 0) {
    result = std::min(used, maximum);
    b.CopyOut(static_cast<char*>(destination), result);
  } else if (used > 0) {
    result = 0;
  }
  b.spaceEvent_.notify_one();
  return result;
}

std::optional<std::string> RingBuffer_readUntil(RingBuffer& b, const char* /*label*/, int maxLength,
                                                FieldCollector* collector) {
  std::unique_lock<std::mutex> guard(b.lock_);
  int seen = 0;
  int fieldLength = 0;  // bytes up to and including the NUL
  for (;;) {
    while (b.UsedLocked() == seen) {
      if (b.closed_) return std::nullopt;
      // Tell a writer that waits for room for a whole chunk that only part of it can be had
      // until this field is complete (see RingBuffer_write).
      b.fieldWaiting_ = seen > 0;
      if (b.fieldWaiting_) b.spaceEvent_.notify_one();
      b.dataEvent_.wait(guard);
      b.fieldWaiting_ = false;
    }
    int used = b.UsedLocked();
    if (used == 0 && b.closed_) return std::nullopt;
    // Scan only what arrived since the last scan; earlier bytes held no NUL.
    for (int i = seen; i < used; ++i) {
      if (b.data_[static_cast<std::size_t>((b.start_ + i) % b.capacity_)] == '\0') {
        fieldLength = i + 1;
        break;
      }
    }
    if (fieldLength > 0) break;
    seen = used;
    // A field that cannot fit in maxLength, or that already fills the whole buffer without its
    // NUL, can never be completed: refuse it instead of waiting for a writer that itself waits
    // for room.
    if (seen >= maxLength || seen >= b.capacity_) return std::nullopt;
  }
  if (fieldLength > maxLength) return std::nullopt;
  std::string raw(static_cast<std::size_t>(fieldLength), '\0');
  b.CopyOut(raw.data(), fieldLength);
  b.spaceEvent_.notify_one();
  guard.unlock();
  std::string field(raw.data(), static_cast<std::size_t>(fieldLength - 1));
  if (collector != nullptr) collector->blocks.push_back(std::move(raw));
  return field;
}

void RingBuffer_close(RingBuffer& b) {
  std::lock_guard<std::mutex> guard(b.lock_);
  if (b.closed_) return;
  b.closed_ = true;
  b.spaceEvent_.notify_all();
  b.dataEvent_.notify_all();
}

}  // namespace ferrolan::pipeline
