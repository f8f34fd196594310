// The shared test helpers themselves: a fault here would make other tests pass or fail for the
// wrong reason.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "log/log.h"
#include "testing/files.h"
#include "testing/log_capture.h"
#include "testing/tail_builder.h"
#include "testing/temp_folder.h"

namespace ferrolan::testing {
namespace {

namespace stdfs = std::filesystem;

std::uint64_t g_now = 0;
std::uint64_t FakeClock() { return g_now; }

TEST(LogCaptureTest, LinesLoseOnlyTheTimingPrefix) {
  log::SetClockForTesting(&FakeClock);
  g_now = 1000;
  {
    LogCapture capture;
    log::LogPrintf("[T] first\n");
    g_now += 123456789;  // wider than the prefix's field
    log::LogPrintf("[T] late\n");
    log::LogPrintf("   indented\n");
    log::LogPrintf("[T] two\nlines\n");
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"[T] first", "[T] late", "   indented",
                                                         "[T] two", "lines"}));
    EXPECT_TRUE(capture.Has("+123456789 [T] late\n"));
    EXPECT_TRUE(capture.Logged("[T] late"));
    EXPECT_FALSE(capture.Logged("[T] lat"));
    EXPECT_EQ(capture.CountStartingWith("[T] "), 3);
    // Reading does not lose what is logged afterwards.
    log::LogPrintf("[T] after reading\n");
    EXPECT_EQ(capture.Lines().back(), "[T] after reading");
  }
  log::SetClockForTesting(nullptr);
  EXPECT_EQ(WithoutTimingPrefix("+12"), "");
  EXPECT_EQ(WithoutTimingPrefix("+x not a prefix"), "+x not a prefix");
}

TEST(TempFolderNaming, NamedAfterTheTestAndRemovedWithEverythingInIt) {
  stdfs::path kept;
  {
    TempFolder folder;
    TempFolder other("second");
    kept = folder.root();
    const std::string name = kept.filename().string();
    EXPECT_EQ(name.rfind("ferrolan-TempFolderNaming-NamedAfterTheTest", 0), 0u) << name;
    EXPECT_NE(other.root(), folder.root());
    ASSERT_TRUE(stdfs::is_directory(kept));
    const std::string file = folder.Write("a/b/c.txt", "content");
    EXPECT_EQ(ReadFile(file), "content");
    EXPECT_EQ(ReadFile(folder.Path("missing")), "");
  }
  EXPECT_FALSE(stdfs::exists(kept));
  // The same test gets the same folder again, emptied: a death test's child relies on that.
  TempFolder again;
  EXPECT_EQ(again.root(), kept);
  EXPECT_TRUE(stdfs::is_empty(kept));
}

TEST(TailBuilderTest, FieldsAndParamsSection) {
  EXPECT_EQ(Fields({"a", "", "bc"}), std::string("a\0\0bc\0", 6));
  const std::string params = ParamsSection({{"k", "v"}});
  EXPECT_EQ(params.substr(params.size() - 6), std::string("1\0k\0v\0", 6));
  EXPECT_EQ(ParamsSection("9", {}).size(), params.size() - 4);
  LaunchFileContents v2;
  v2.version = 2;
  EXPECT_EQ(v2.Bytes(), Fields({"2", "com.example.Main", "com.example.OnUpdate", "DemoApp",
                                "icon.icns", "0", "0", "0", "0", "0"}));
}

}  // namespace
}  // namespace ferrolan::testing
