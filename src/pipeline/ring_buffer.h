// RingBuffer: the bounded circular byte queue between one producer and one consumer thread.
// Writes wait for room for all of their bytes; reads return whatever is there and wait only
// when nothing is; closing is the end-of-stream signal (and, from the consumer, the stop
// signal to the producer). Portable: one mutex and two condition variables.
//
// One exception keeps the two sides from waiting on each other: while RingBuffer_readUntil
// waits for the rest of a field whose start it holds, it cannot make room, so a writer then
// stores as much of its bytes as fits instead of waiting for room for all of them. Without it
// a field that fills most of the buffer (a Params value near its 200,000-byte limit in the
// 204,800-byte ring) would leave the reader waiting for bytes that the writer holds back
// until there is room for its whole chunk.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ferrolan::pipeline {

/// Remembers the raw bytes of the fields read with RingBuffer_readUntil (each with its NUL),
/// so the archive reader can hash them after it has decided what they were.
struct FieldCollector {
  static constexpr int kCapacity = 10;
  std::vector<std::string> blocks;  // the bytes consumed for each field, NUL included
  int count() const { return static_cast<int>(blocks.size()); }
  void Clear() { blocks.clear(); }
};

class RingBuffer {
 public:
  RingBuffer(int id, int capacity);
  RingBuffer(const RingBuffer&) = delete;
  RingBuffer& operator=(const RingBuffer&) = delete;

  int id() const { return id_; }
  int capacity() const { return capacity_; }

  /// Observers for diagnostics and tests; each takes the lock.
  int Used() const;
  int Start() const;
  int End() const;  // -1 when empty
  bool Closed() const;

 private:
  friend int RingBuffer_write(RingBuffer&, const void*, int);
  friend int RingBuffer_read(RingBuffer&, void*, int);
  friend std::optional<std::string> RingBuffer_readUntil(RingBuffer&, const char*, int,
                                                         FieldCollector*);
  friend void RingBuffer_close(RingBuffer&);

  int UsedLocked() const;
  void CopyOut(char* destination, int n);           // steps 3 and 4 of a read, lock held
  void StoreLocked(const char* bytes, int length);  // stores bytes that fit, lock held

  const int id_;
  const int capacity_;
  std::vector<char> data_;
  int start_ = 0;
  int end_ = -1;
  bool closed_ = false;
  bool fieldWaiting_ = false;  // RingBuffer_readUntil waits with the start of a field unread
  mutable std::mutex lock_;
  std::condition_variable spaceEvent_;
  std::condition_variable dataEvent_;
};

/// A new, open, empty buffer. Stages share it, so it is reference-counted.
std::shared_ptr<RingBuffer> RingBuffer_create(int id, int capacity);

/// Stores all `length` bytes, waiting for room. Returns `length`; 0 if `length` <= 0; -1 if
/// the buffer is closed while the write still has to wait (a write that fits is stored even
/// into a closed buffer). While a field reader waits for the end of a field, the bytes are
/// stored in parts as room allows (see above); -1 then may come after some of them were stored.
int RingBuffer_write(RingBuffer& buffer, const void* source, int length);

/// Copies what is there, up to `maximum` bytes, waiting only while the buffer is empty and
/// open. Returns the count (at least 1), or -1 at end of stream (empty and closed).
int RingBuffer_read(RingBuffer& buffer, void* destination, int maximum);

/// Reads the next NUL-terminated field and returns its text (without the NUL), or none at end
/// of stream. `label` names the field for the reader of the calling code only. A field that
/// does not fit in `maxLength` bytes with its NUL, or that fills the whole buffer without a NUL,
/// is refused: none is returned at once and the bytes stay unread (the format forbids such fields;
/// refusing keeps a bad stream from hanging the reader or overrunning a limit). `collector`, when
/// given, receives the consumed bytes.
std::optional<std::string> RingBuffer_readUntil(RingBuffer& buffer, const char* label,
                                                int maxLength, FieldCollector* collector);

/// Marks the buffer closed and wakes both sides. Closing twice is harmless.
void RingBuffer_close(RingBuffer& buffer);

}  // namespace ferrolan::pipeline
