#include "tail/tail_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fs/path.h"
#include "tail/markers.h"
#include "tail/params.h"
#include "testing/log_capture.h"
#include "testing/tail_builder.h"
#include "testing/temp_folder.h"

namespace ferrolan::tail {
namespace {

using testing::LauncherLayout;

TEST(TailReaderTest, ReadsTheFieldsAndLeavesTheEntriesInTheBuffer) {
  testing::TempFolder temp;
  LauncherLayout layout;
  layout.fields[5] = std::string(8191, 'k');   // the longest key that fits
  layout.fields[10] = std::string(4999, 'u');  // the longest URL that fits
  testing::LogCapture log;
  std::optional<WrapperTail> tail = ReadWrapperTail(temp.Write("l.bin", layout.Build()));
  ASSERT_TRUE(tail);
  EXPECT_TRUE(log.Has("[Extractor] Found tail marker\n"));
  const TailFields& f = tail->fields;
  EXPECT_EQ(f.appName + "|" + f.appVersion + "|" + f.jreVersion + "|" + f.guVersion + "|" +
                f.minSplashMs + "|" + f.canOverrideSplash + "|" + f.installType + "|" +
                f.silentParameter + "|" + f.requiredJavaVersion,
            "Demo App|00052861074||00000000042|700|1|perm_all|/S|5");
  EXPECT_EQ(f.publicKey.size(), 8191u);
  EXPECT_EQ(f.updateUrl.size(), 4999u);
  EXPECT_EQ(pipeline::RingBuffer_readUntil(*tail->reader.buffer, "entry", 1024, nullptr),
            "entry-bytes");
  // The entries' stream ends where the Params section begins.
  char rest[64] = {};
  EXPECT_EQ(pipeline::RingBuffer_read(*tail->reader.buffer, rest, sizeof rest), 15);
  EXPECT_EQ(std::string(rest, 15), "signature-table");
  EXPECT_EQ(pipeline::RingBuffer_read(*tail->reader.buffer, rest, sizeof rest), -1);
}

// One byte over a field's limit refuses the tail instead of overrunning a buffer.
TEST(TailReaderTest, FieldBeyondItsLimitRefusesTheTail) {
  for (auto [index, length] : {std::pair{0u, 1024u}, std::pair{5u, 8192u}, std::pair{10u, 5000u}}) {
    testing::LogCapture log;
    LauncherLayout layout;
    layout.fields[index] = std::string(length, 'x');
    std::string bytes = testing::Fields(layout.fields);
    auto buffer = pipeline::RingBuffer_create(3, 204800);
    pipeline::RingBuffer_write(*buffer, bytes.data(), static_cast<int>(bytes.size()));
    EXPECT_FALSE(ReadTailFields(*buffer));
    EXPECT_TRUE(log.Has(std::string("Wrapper tail field ") + kTailFieldLayout[index].label +
                        " is missing or too long"));
  }
}

// A launcher cut anywhere has a defined outcome and never hangs: the tail is read when its first
// five fields are complete (the missing ones from the key on are empty and counted); the Params
// pass keeps exactly the complete pairs.
TEST(TailReaderTest, TruncatedLauncherAtManyOffsets) {
  testing::TempFolder temp;
  testing::LogCapture log;
  LauncherLayout layout;
  const std::string full = layout.Build();
  const std::size_t fieldsAt = layout.image.size() + 128;
  const std::size_t fieldsEnd = fieldsAt + testing::Fields(layout.fields).size();
  std::vector<std::size_t> fieldEnds;  // where each field's NUL ends
  for (std::size_t i = 0, at = fieldsAt; i < layout.fields.size(); ++i) {
    at += layout.fields[i].size() + 1;
    fieldEnds.push_back(at);
  }
  const std::size_t markerEnd = full.find(testing::AsString(ParamsMarker())) + 64;
  const std::size_t countEnd = markerEnd + 2;
  const std::size_t pair1End = countEnd + 16, pair2End = pair1End + 21;
  for (std::size_t cut = 0; cut <= full.size(); ++cut) {
    bool near = (cut + 2 >= fieldsEnd && cut <= fieldsEnd + 2) || cut + 2 >= markerEnd;
    if (!near && cut % 11 != 0 && cut < fieldsEnd) near = cut + 1 >= fieldsAt;
    if (!near && cut % 11 != 0) continue;
    std::string path = temp.Write("cut.bin", full.substr(0, cut));
    std::optional<WrapperTail> tail = ReadWrapperTail(path);
    ASSERT_EQ(tail.has_value(), cut >= fieldEnds[4]) << cut;
    if (tail) {
      const std::size_t present = static_cast<std::size_t>(
          std::upper_bound(fieldEnds.begin(), fieldEnds.end(), cut) - fieldEnds.begin());
      EXPECT_EQ(tail->fields.presentFields, present) << cut;
      EXPECT_EQ(tail->fields.PublicKeyMissing(), present <= 5) << cut;
      if (present < 11) {
        EXPECT_EQ(tail->fields.updateUrl, "") << cut;
      }
      if (present <= 7) {
        EXPECT_EQ(tail->fields.installType, "") << cut;
      }
    }
    LaunchPropertiesBlock list;
    std::optional<DynamicProperties> params = ProcessParams(path, list, false);
    ASSERT_EQ(params.has_value(), cut >= markerEnd) << cut;
    if (!params) continue;
    EXPECT_EQ(params->count, cut >= countEnd ? 2 : -1) << cut;
    EXPECT_EQ(list.Entries().size(), cut >= pair2End ? 4u : cut >= pair1End ? 2u : 0u) << cut;
  }
  EXPECT_TRUE(log.Has("Could not find marker: Tail\n"));
  EXPECT_TRUE(log.Has("Could not find marker: Params\n"));
}

TEST(TailReaderTest, ReadStringStopsAtNulEndOrLimit) {
  testing::TempFolder temp;
  std::string a(498, 'a'), b(499, 'b');
  std::string path = temp.Write("s.bin", a + '\0' + b + '\0' + "end");
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(READSTRING(f.get(), "a", 500), a);
  EXPECT_EQ(READSTRING(f.get(), "b", 500), b);
  std::fflush(stdout);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find(
                "***WARNING - STRING TOO LONG FOR ALLOC 499>500! (READSTRING) [" + b + "]\n"),
            std::string::npos);
  EXPECT_EQ(READSTRING(f.get(), "rest", 500), "");  // the cut string's NUL stayed unread
  EXPECT_EQ(READSTRING(f.get(), "end", 500), "end");
  EXPECT_EQ(READSTRING(f.get(), "past end", 500), "");
}

TEST(TailReaderTest, AbsoluteWrapperPathAndSilentRule) {
  std::string joined = std::filesystem::current_path().string();
  fs::PathJoin(joined, "app.exe");
  EXPECT_EQ(AbsoluteWrapperPath("app.exe"), joined);
  bool windows = fs::PathSeparator() == '\\';
  EXPECT_EQ(IsAbsoluteName("C:\\x\\a.exe"), windows);
  EXPECT_EQ(IsAbsoluteName("C:/x/a.exe"), windows);
  EXPECT_EQ(IsAbsoluteName("\\\\srv\\share\\a.exe"), windows);
  EXPECT_EQ(IsAbsoluteName("/opt/a"), !windows);
  EXPECT_FALSE(IsAbsoluteName("C:a.exe"));

  testing::LogCapture log;
  char a0[] = "one", a1[] = "/S", a2[] = "/s";
  char* exact[] = {a0, a1};
  char* otherCase[] = {a0, a2};
  EXPECT_TRUE(IsSilentInstall(true, "", 0, nullptr));
  EXPECT_TRUE(IsSilentInstall(false, "/S", 2, exact));
  EXPECT_FALSE(IsSilentInstall(false, "/S", 2, otherCase));
  EXPECT_FALSE(IsSilentInstall(false, "", 2, exact));
  EXPECT_TRUE(log.Has("[Extractor] Is silent install is 1\n"));
  EXPECT_TRUE(log.Has("[Extractor] Is silent install is 0\n"));
}

}  // namespace
}  // namespace ferrolan::tail
