// Helpers shared by the archive tests and the test-archive maker: building archives in memory,
// compressing them the way the packager does, feeding them through a RingBuffer, and temp
// folders with a destination to extract into.
#pragma once

#include <lzma.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "archive/signature.h"
#include "archive/testdata/test_signing_key.h"
#include "pipeline/ring_buffer.h"
#include "testing/temp_folder.h"

namespace ferrolan::archive::testutil {

inline const SigningKey& TestKey() {
  static const std::unique_ptr<SigningKey> key =
      SigningKey::FromPrivateHex(testdata::kTestPrivateKeyHex);
  return *key;
}

/// The public half of TestKey, as a launcher imports it.
inline std::unique_ptr<PublicKey> ImportPublicHex(const std::string& hex) {
  std::vector<unsigned char> der(hex.size() / 2 + 2, 0);
  const int produced = HexToBytes(der.data(), der.size(), hex);
  return ImportPublicKey(der.data(), static_cast<std::size_t>(produced));
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

/// A test's temp folder (one per `tag`) with an empty "dest" folder below it to extract into, so
/// that a test can see what an unsafe path would have written next to it.
class TempFolder : public ferrolan::testing::TempFolder {
 public:
  explicit TempFolder(const std::string& tag) : ferrolan::testing::TempFolder(tag) {
    std::filesystem::create_directories(dest());
  }
  std::filesystem::path dest() const { return root() / "dest"; }
  std::string destString() const { return dest().string(); }
};

inline bool IsEmptyFolder(const std::filesystem::path& path) {
  return std::filesystem::is_directory(path) && std::filesystem::is_empty(path);
}

}  // namespace ferrolan::archive::testutil
