#include "pack/archive/lzma_encoder.h"

#include <gtest/gtest.h>
#include <lzma.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "testing/temp_folder.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;

// Decodes the way the launcher's LZMA stage does: the auto decoder, no memory limit, first
// stream only. Returns false on a decoder error.
bool Decode(const std::vector<std::uint8_t>& compressed, std::vector<std::uint8_t>* plain) {
  lzma_stream strm = LZMA_STREAM_INIT;
  if (lzma_auto_decoder(&strm, UINT64_MAX, 0) != LZMA_OK) return false;
  strm.next_in = compressed.data();
  strm.avail_in = compressed.size();
  std::vector<std::uint8_t> out(4096);
  lzma_ret ret = LZMA_OK;
  while (ret == LZMA_OK) {
    strm.next_out = out.data();
    strm.avail_out = out.size();
    ret = lzma_code(&strm, LZMA_RUN);
    plain->insert(plain->end(), out.data(), out.data() + (out.size() - strm.avail_out));
    if (ret == LZMA_OK && strm.avail_in == 0 && strm.avail_out != 0) break;  // input used up
  }
  lzma_end(&strm);
  return ret == LZMA_STREAM_END;
}

std::vector<std::uint8_t> Encode(const std::vector<std::uint8_t>& plain, std::size_t piece,
                                 LzmaFormat format = LzmaFormat::kLegacy) {
  std::vector<std::uint8_t> compressed;
  LzmaEncoder encoder(
      plain.size(),
      [&](const std::uint8_t* data, std::size_t length) {
        compressed.insert(compressed.end(), data, data + length);
        return true;
      },
      format);
  for (std::size_t at = 0; at < plain.size(); at += piece) {
    EXPECT_TRUE(encoder.Write(plain.data() + at, std::min(piece, plain.size() - at)));
  }
  EXPECT_TRUE(encoder.Finish()) << encoder.error();
  EXPECT_EQ(encoder.compressedBytes(), compressed.size());
  return compressed;
}

std::vector<std::uint8_t> SampleData(std::size_t size) {
  // Half text-like (compressible), half random (not), so both coder paths are exercised.
  std::vector<std::uint8_t> data(size);
  std::mt19937 random(7);
  for (std::size_t i = 0; i < size; ++i) {
    data[i] = i % 2048 < 1024 ? static_cast<std::uint8_t>("ferrolan archive "[i % 17])
                              : static_cast<std::uint8_t>(random());
  }
  return data;
}

TEST(LzmaEncoderTest, HeaderHoldsPropertiesDictionaryAndSize) {
  auto header = LzmaHeader(0x0102030405060708ull);
  const std::uint8_t expected[13] = {0x5D, 0x00, 0x00, 0x80, 0x00, 0x08, 0x07,
                                     0x06, 0x05, 0x04, 0x03, 0x02, 0x01};
  EXPECT_EQ(std::memcmp(header.data(), expected, 13), 0);
}

TEST(LzmaEncoderTest, RoundTripsThroughTheAutoDecoder) {
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{300000}}) {
    std::vector<std::uint8_t> plain = SampleData(size);
    std::vector<std::uint8_t> compressed = Encode(plain, 7777);
    ASSERT_GE(compressed.size(), kLzmaHeaderSize);
    auto header = LzmaHeader(size);
    EXPECT_EQ(std::memcmp(compressed.data(), header.data(), kLzmaHeaderSize), 0);
    std::vector<std::uint8_t> decoded;
    ASSERT_TRUE(Decode(compressed, &decoded)) << "size " << size;
    EXPECT_EQ(decoded, plain) << "size " << size;
    // The data ends where the header says: bytes after it are never taken as content.
    compressed.insert(compressed.end(), {1, 2, 3, 4});
    decoded.clear();
    ASSERT_TRUE(Decode(compressed, &decoded));
    EXPECT_EQ(decoded, plain);
  }
}

TEST(LzmaEncoderTest, XzBlocksRoundTripAndNameTheFormat) {
  const std::uint8_t magic[6] = {0xFD, '7', 'z', 'X', 'Z', 0x00};
  for (std::size_t size : {std::size_t{0}, std::size_t{300000}}) {
    std::vector<std::uint8_t> plain = SampleData(size);
    std::vector<std::uint8_t> compressed = Encode(plain, 7777, LzmaFormat::kXzBlocks);
    ASSERT_GE(compressed.size(), sizeof magic);
    EXPECT_EQ(std::memcmp(compressed.data(), magic, sizeof magic), 0);
    std::vector<std::uint8_t> decoded;
    ASSERT_TRUE(Decode(compressed, &decoded)) << "size " << size;
    EXPECT_EQ(decoded, plain) << "size " << size;
  }
  EXPECT_EQ(ParseLzmaFormat("lzma"), LzmaFormat::kLegacy);
  EXPECT_EQ(ParseLzmaFormat("xz"), LzmaFormat::kXzBlocks);
  EXPECT_FALSE(ParseLzmaFormat("XZ").has_value());
}

TEST(LzmaEncoderTest, RefusesMoreOrLessInputThanAnnounced) {
  auto sink = [](const std::uint8_t*, std::size_t) { return true; };
  LzmaEncoder tooMuch(3, sink);
  EXPECT_FALSE(tooMuch.Write("abcd", 4));
  EXPECT_FALSE(tooMuch.Finish());
  EXPECT_NE(tooMuch.error().find("more input"), std::string::npos);

  LzmaEncoder tooLittle(5, sink);
  EXPECT_TRUE(tooLittle.Write("abc", 3));
  EXPECT_FALSE(tooLittle.Finish());
  EXPECT_NE(tooLittle.error().find("3 of 5"), std::string::npos);

  LzmaEncoder sinkFails(1, [](const std::uint8_t*, std::size_t) { return false; });
  EXPECT_FALSE(sinkFails.Finish());
  EXPECT_FALSE(sinkFails.error().empty());
}

TEST(LzmaEncoderTest, CompressesFilesAndReportsProgress) {
  testing::TempFolder temp;
  const stdfs::path& dir = temp.root();
  std::vector<std::uint8_t> plain = SampleData(200000);
  {
    std::ofstream(dir / "in.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(plain.data()),
               static_cast<std::streamsize>(plain.size()));
  }
  std::uint64_t lastProgress = 0;
  std::string error;
  ASSERT_TRUE(CompressFileToLzma((dir / "in.bin").string(), (dir / "out.lzma").string(),
                                 [&](std::uint64_t done) { lastProgress = done; }, &error))
      << error;
  EXPECT_EQ(lastProgress, plain.size());
  std::ifstream in(dir / "out.lzma", std::ios::binary);
  std::vector<std::uint8_t> compressed((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
  in.close();
  std::vector<std::uint8_t> decoded;
  ASSERT_TRUE(Decode(compressed, &decoded));
  EXPECT_EQ(decoded, plain);

  // A missing input fails without leaving an output behind.
  EXPECT_FALSE(
      CompressFileToLzma((dir / "absent").string(), (dir / "none.lzma").string(), {}, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(stdfs::exists(dir / "none.lzma"));
}

}  // namespace
}  // namespace ferrolan::pack
