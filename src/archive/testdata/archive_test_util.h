// Helpers shared by the archive tests: building archives in memory, compressing them the way
// the packager does, feeding them through a RingBuffer, and private temp folders.
#pragma once

#include <lzma.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "archive/archive_writer.h"
#include "archive/testdata/test_signing_key.h"
#include "pipeline/ring_buffer.h"

namespace ferrolan::archive::testutil {

inline const SigningKey& TestKey() {
  static const std::unique_ptr<SigningKey> key =
      SigningKey::FromPrivateHex(testdata::kTestPrivateKeyHex);
  return *key;
}

/// An archive's entry stream built by `fill`, signed with `key` when given.
template <typename Fill>
std::string BuildArchive(Fill fill, const SigningKey* key) {
  std::string bytes;
  ArchiveWriter writer([&bytes](const void* data, std::size_t length) {
    bytes.append(static_cast<const char*>(data), length);
    return true;
  });
  fill(writer);
  if (!writer.Finish(key)) return {};
  return bytes;
}

/// LZMA in the legacy container, as the packager writes archives.
inline std::string CompressLzmaAlone(const std::string& data) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 6);
  lzma_stream stream = LZMA_STREAM_INIT;
  if (lzma_alone_encoder(&stream, &options) != LZMA_OK) return {};
  std::string out(data.size() + data.size() / 2 + 4096, '\0');
  stream.next_in = reinterpret_cast<const uint8_t*>(data.data());
  stream.avail_in = data.size();
  stream.next_out = reinterpret_cast<uint8_t*>(out.data());
  stream.avail_out = out.size();
  const lzma_ret result = lzma_code(&stream, LZMA_FINISH);
  out.resize(out.size() - stream.avail_out);
  lzma_end(&stream);
  return result == LZMA_STREAM_END ? out : std::string();
}

/// A closed buffer holding `bytes`, ready to be read to its end.
inline std::shared_ptr<pipeline::RingBuffer> FilledBuffer(const std::string& bytes) {
  auto buffer = pipeline::RingBuffer_create(9, static_cast<int>(bytes.size()) + 1);
  pipeline::RingBuffer_write(*buffer, bytes.data(), static_cast<int>(bytes.size()));
  pipeline::RingBuffer_close(*buffer);
  return buffer;
}

/// A fresh folder of its own under the temp folder, removed when the object goes.
class TempFolder {
 public:
  explicit TempFolder(const std::string& name)
      : path_(std::filesystem::temp_directory_path() / ("ferrolan-archive-" + name)) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_ / "dest");
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::filesystem::path root() const { return path_; }
  std::filesystem::path dest() const { return path_ / "dest"; }
  std::string destString() const { return dest().string(); }

 private:
  std::filesystem::path path_;
};

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline bool IsEmptyFolder(const std::filesystem::path& path) {
  return std::filesystem::is_directory(path) && std::filesystem::is_empty(path);
}

}  // namespace ferrolan::archive::testutil
