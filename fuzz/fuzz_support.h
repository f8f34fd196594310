// What the fuzz harnesses share: a quiet log, the input as a closed RingBuffer or a C stream, and
// a private scratch folder for the readers that write files. Every harness calls the launcher's
// own reader on the bytes it is given, returns normally whatever they are, and keeps nothing
// from one input to the next.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "fs/owned_file.h"
#include "log/log.h"
#include "pipeline/ring_buffer.h"

namespace ferrolan::fuzz {

/// Turns the console log off once: the readers log every field they read, and printing it
/// would cost more than the reading. The messages are still formatted, so a bad format
/// argument is still caught by the sanitizers.
inline void QuietLog() {
  static const bool quiet = [] {
    log::SetConsoleEnabled(false);
    return true;
  }();
  (void)quiet;
}

/// A closed buffer that holds exactly `bytes`, as a producer that has finished leaves it.
inline std::shared_ptr<pipeline::RingBuffer> ClosedBuffer(std::string_view bytes) {
  auto buffer = pipeline::RingBuffer_create(9, static_cast<int>(bytes.size()) + 1);
  pipeline::RingBuffer_write(*buffer, bytes.data(), static_cast<int>(bytes.size()));
  pipeline::RingBuffer_close(*buffer);
  return buffer;
}

/// A read-only C stream over a copy of `bytes` (the stream reads from memory the caller keeps
/// alive as `storage`). Null for an empty input, which fmemopen does not take everywhere.
inline fs::OwnedFile MemoryStream(std::string& storage, const std::uint8_t* data,
                                  std::size_t size) {
  storage.assign(reinterpret_cast<const char*>(data), size);
  if (storage.empty()) return fs::OwnedFile();
  return fs::OwnedFile(fmemopen(storage.data(), storage.size(), "rb"));
}

/// Where scratch folders go: FERROLAN_FUZZ_TMP when set, else /dev/shm when there is one (files
/// in memory keep the file-writing harnesses fast), else the system's temp folder.
inline std::filesystem::path ScratchBase() {
  if (const char* chosen = std::getenv("FERROLAN_FUZZ_TMP")) return chosen;
  std::error_code ignored;
  if (std::filesystem::is_directory("/dev/shm", ignored)) return "/dev/shm";
  return std::filesystem::temp_directory_path();
}

/// A folder of this fuzzing process, created on first use and emptied by Reset() after each
/// input. Several fuzzers may run at once: the process id keeps them apart.
class Scratch {
 public:
  explicit Scratch(const char* name)
      : root_(ScratchBase() /
              (std::string("ferrolan-fuzz-") + name + "-" + std::to_string(getpid()))) {
    Reset();
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  std::string Path(const std::string& relative = "") const {
    return relative.empty() ? root_.string() : (root_ / relative).string();
  }

  /// Writes `size` bytes to the file `relative` below the folder and returns its path.
  std::string WriteFile(const std::string& relative, const void* data, std::size_t size) const {
    const std::string path = Path(relative);
    fs::OwnedFile file = fs::OpenFile(path, "wb");
    if (file && size > 0) std::fwrite(data, 1, size, file.get());
    return path;
  }

  /// Removes whatever the last input left and recreates the empty folder.
  void Reset() const {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
    std::filesystem::create_directories(root_, ignored);
  }

 private:
  std::filesystem::path root_;
};

}  // namespace ferrolan::fuzz
