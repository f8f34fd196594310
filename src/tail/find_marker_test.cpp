#include "tail/find_marker.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>

#include "tail/markers.h"
#include "testing/tail_builder.h"
#include "testing/temp_folder.h"

namespace ferrolan::tail {
namespace {

using testing::AsString;

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
File Open(const std::string& path) { return File(std::fopen(path.c_str(), "rb"), &std::fclose); }

std::int64_t Find(std::FILE* f, const std::string& marker, const char* label = "Test") {
  return FindMarker(f, reinterpret_cast<const std::uint8_t*>(marker.data()),
                    static_cast<int>(marker.size()), label);
}

std::string Hex(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes)
    out += "0123456789ABCDEF"[c >> 4], out += "0123456789ABCDEF"[c & 15];
  return out;
}

// The values are a contract with every launcher file already packaged.
TEST(MarkersTest, ValuesAreTheDocumentedOnes) {
  EXPECT_EQ(Hex(AsString(TailMarker())),
            "576B6B5FB3BD2EA61DBD57A65792DB9ED6B3BD79DBB3F3579E5F92922E9257DB"
            "EA5FF31DEAA6DB1D57A6579E79F379BD92A62E9EDBB35F2E6B1D1D6B9EF3B3A6"
            "B3DBB379BD9279579E9EDBB36BBDEAD63A575F79BD3AB3F36B92BD9279F357BD"
            "6B5F6B3A79A63AA65F9E6BB31D3A6B9E9E6BD62EEA579EF3A62EBD1DB31DF31D");
  EXPECT_EQ(Hex(AsString(ParamsMarker())),
            "B3BD793A1D1D79D66BDB5F792E3A5FDB1DDBB35F92DB921DD6B36BA62EF3D6EA"
            "2E2EBD1DD63A5FDBD657F35F9E5F2E2E6B92922EBD6B2E6B92F33A79DB791D1D");
}

// The search starts at the first byte of the file, so a copy of a marker inside the launcher
// (or this binary, which links the same code) would be found before the real one.
TEST(MarkersTest, NeitherMarkerStandsInTheBuiltImages) {
  for (const char* path : {FERROLAN_EXE_PATH, FERROLAN_TAIL_TEST_PATH}) {
    std::ifstream in(path, std::ios::binary);
    std::string image(std::istreambuf_iterator<char>(in), {});
    ASSERT_GT(image.size(), 4096u) << path;
    EXPECT_EQ(image.find(AsString(TailMarker())), std::string::npos) << path;
    EXPECT_EQ(image.find(AsString(ParamsMarker())), std::string::npos) << path;
  }
}

// A byte equal to the marker's first byte right before it must not hide it; the count is taken
// from the stream's position when the search starts, and the stream stops right after it.
TEST(FindMarkerTest, FindsAMarkerAfterAByteEqualToItsFirstByte) {
  testing::TempFolder temp;
  const std::string marker = AsString(TailMarker());
  File f = Open(temp.Write("m.bin", "0123" + marker.substr(0, 1) + marker + "!"));
  ASSERT_EQ(std::fseek(f.get(), 2, SEEK_SET), 0);
  EXPECT_EQ(Find(f.get(), marker), 3 + 128);
  EXPECT_EQ(std::fgetc(f.get()), '!');
}

// Markers straddling the 256 KiB read blocks are found whole and the stream is given back to
// exactly the byte after them.
TEST(FindMarkerTest, MarkerAcrossBlockBoundaries) {
  testing::TempFolder temp;
  const std::string marker = AsString(TailMarker());
  constexpr std::size_t kBlock = std::size_t{256} << 10;
  for (std::size_t at : {kBlock - 128, kBlock - 127, kBlock - 1, kBlock, 4 * kBlock + 60}) {
    std::string data(at, '\x5F');  // a byte of the marker: every sample is a candidate
    File f = Open(temp.Write("b.bin", data + marker + "tail"));
    EXPECT_EQ(Find(f.get(), marker), static_cast<std::int64_t>(at + 128)) << at;
    EXPECT_EQ(std::fgetc(f.get()), 't') << at;
  }
}

// Random data over a tiny alphabet makes many near misses: every answer must be the first
// occurrence a plain search finds, for short markers like "PE\0\0" too.
TEST(FindMarkerTest, AgreesWithAPlainSearchOnRandomData) {
  testing::TempFolder temp;
  std::mt19937 random(12345);
  const std::string alphabet("PE\0abc", 6);
  for (int round = 0; round < 30; ++round) {
    std::string data(round % 5 == 0 ? 700000 : random() % 3000, '\0');
    for (char& c : data) c = alphabet[random() % alphabet.size()];
    std::string marker = round % 2 ? std::string("PE\0\0", 4) : std::string("aPaEa");
    File f = Open(temp.Write("r.bin", data));
    std::size_t at = data.find(marker);
    std::int64_t expected =
        at == std::string::npos ? -1 : static_cast<std::int64_t>(at + marker.size());
    ASSERT_EQ(Find(f.get(), marker), expected) << "round " << round;
    if (expected >= 0 && static_cast<std::size_t>(expected) < data.size()) {
      EXPECT_EQ(std::fgetc(f.get()),
                static_cast<unsigned char>(data[static_cast<std::size_t>(expected)]));
    }
  }
}

}  // namespace
}  // namespace ferrolan::tail
