#include "launch/launch_properties.h"

#include <gtest/gtest.h>

#include "tail/properties_block.h"
#include "testing/files.h"
#include "testing/tail_builder.h"
#include "testing/temp_folder.h"

namespace ferrolan::launch {
namespace {

namespace stdfs = std::filesystem;
using testing::Fields;
using LaunchTest = testing::LoggedTempFolderTest;
// The launch files are read and written whole.
constexpr auto ReadBytes = &testing::ReadFile;
constexpr auto WriteBytes = &testing::WriteFile;

using namespace std::string_literals;

class LaunchPropertiesTest : public LaunchTest {
 protected:
  LaunchPropertiesRequest Request() {
    LaunchPropertiesRequest request;
    request.appFolder = Path("app");
    request.updateUrl = "http://u/";
    request.jreName = "jre17";
    request.launcherPath = "L";
    stdfs::create_directories(request.appFolder);
    return request;
  }
  // A sleep that only counts, so the retry paths run at full speed.
  RetrySleep CountingSleep() {
    return [this](unsigned ms) { slept_.push_back(ms); };
  }
  std::vector<unsigned> slept_;
};

TEST_F(LaunchPropertiesTest, FileContentIsTheBlockWithoutItsTwoFinalNuls) {
  tail::LaunchPropertiesBlock block;
  tail::AddStaticProperty(block, "k", "1");
  EXPECT_EQ(LaunchPropertiesContent(block),
            "flstat_k\0"s
            "1");
  tail::AddStaticProperty(block, "empty", "");
  EXPECT_EQ(LaunchPropertiesContent(block),
            "flstat_k\0"s
            "1\0flstat_empty\0\x04"s);
  EXPECT_EQ(LaunchPropertiesContent(tail::LaunchPropertiesBlock()), "");
}

TEST_F(LaunchPropertiesTest, WritesTheLaunchEntriesAndLsoOptionsByteForByte) {
  tail::LaunchPropertiesBlock block;
  tail::AddDynamicProperty(block, "jre_name", "jre17");
  const std::string longOption = "-Dlong=" + std::string(143, 'x');  // 150 characters
  std::string lso = Path("master/FLApps/JRE-LastSuccessfulOptions-Ferrolan-jre17-1-complete");
  WriteBytes(lso, Fields({"2", "-Xss2m", longOption}));

  LaunchPropertiesRequest request = Request();
  request.updateUrl = "D";
  request.dynamicUpdateUrl = "http://dyn/";
  request.lsoPath = lso;
  std::vector<std::string> jvmOptions = {"-Xmx512m"};
  std::string path = WriteLaunchProperties(block, request, jvmOptions, CountingSleep()).value();

  EXPECT_EQ(path.rfind(Path("app/FLLaunchProperties-"), 0), 0u) << path;
  const std::string expected =
      "fldyna_jre_name\0jre17\0"s
      "flstat_update_url\0D\0"s
      "fldyna_update_url\0http://dyn/\0"s
      "flstat_app_dir\0"s +
      request.appFolder +
      "\0"s
      "flstat_jre_name\0jre17\0"s
      "flstat_launched_from_dynprops\0L\0"s
      "flstat_jvm_options_count\0"s
      "2\0"s
      "flstat_jvm_options_0\0-Xss2m\0"s
      "flstat_jvm_options_1\0"s +
      longOption;
  EXPECT_EQ(ReadBytes(path), expected);
  EXPECT_EQ(jvmOptions, (std::vector<std::string>{"-Xmx512m", "-Xss2m", longOption}));
  // A long entry is cut in the log only.
  EXPECT_TRUE(
      ConsoleHas("[Extractor] Launch Prop: jvm_options_1 = " + longOption.substr(0, 99) + "...\n"));
  EXPECT_TRUE(ConsoleHas("(length: " + std::to_string(expected.size()) + ")"));
  EXPECT_TRUE(slept_.empty());
}

TEST_F(LaunchPropertiesTest, DynamicUpdateUrlOnlyWhenTheTailDefersToIt) {
  std::vector<std::string> jvmOptions;
  LaunchPropertiesRequest request = Request();
  request.dynamicUpdateUrl = "http://dyn/";  // given, but the tail names its own URL
  std::string content = ReadBytes(WriteLaunchProperties({}, request, jvmOptions).value());
  EXPECT_EQ(content.find("fldyna_update_url"), std::string::npos);
  request.updateUrl = "D";
  request.dynamicUpdateUrl.reset();  // deferred, but there is none
  content = ReadBytes(WriteLaunchProperties({}, request, jvmOptions).value());
  EXPECT_EQ(content.find("fldyna_update_url"), std::string::npos);
  request.dynamicUpdateUrl = "";  // deferred, and given empty: the key with the empty marker
  content = ReadBytes(WriteLaunchProperties({}, request, jvmOptions).value());
  EXPECT_NE(content.find(std::string("fldyna_update_url\0\x04", 19)), std::string::npos);
}

TEST_F(LaunchPropertiesTest, LsoFileMissingOrAbsent) {
  std::vector<std::string> jvmOptions;
  LaunchPropertiesRequest request = Request();
  request.lsoPath = Path("master/FLApps/JRE-LastSuccessfulOptions-none");
  std::string content =
      ReadBytes(WriteLaunchProperties({}, request, jvmOptions, CountingSleep()).value());
  EXPECT_TRUE(ConsoleHas("JRE LSO file does not exist\n"));
  EXPECT_EQ(content.find("jvm_options_count"), std::string::npos);
  EXPECT_TRUE(slept_.empty());  // a missing file is not retried

  request.lsoPath.reset();  // the compatibility test of a system JRE has no LSO file
  ASSERT_TRUE(WriteLaunchProperties({}, request, jvmOptions));
  EXPECT_TRUE(ConsoleHas("Not a private JRE (no need to check for LSO file)\n"));
  EXPECT_TRUE(jvmOptions.empty());
}

TEST_F(LaunchPropertiesTest, LsoCountZeroAndTruncatedLsoFile) {
  std::vector<std::string> jvmOptions;
  LaunchPropertiesRequest request = Request();
  request.lsoPath = Path("lso-zero");
  WriteBytes(*request.lsoPath, Fields({"0"}));
  std::string content = ReadBytes(WriteLaunchProperties({}, request, jvmOptions).value());
  EXPECT_NE(content.find("flstat_jvm_options_count\0"s
                         "0"),
            std::string::npos);
  EXPECT_EQ(content.find("jvm_options_0"), std::string::npos);

  // Five announced, two present: only the two are passed on, and the count says so.
  request.lsoPath = Path("lso-cut");
  WriteBytes(*request.lsoPath, Fields({"5", "-Da=1", "-Db=2"}));
  content = ReadBytes(WriteLaunchProperties({}, request, jvmOptions).value());
  EXPECT_EQ(jvmOptions, (std::vector<std::string>{"-Da=1", "-Db=2"}));
  EXPECT_NE(content.find("flstat_jvm_options_count\0"s
                         "2\0"s),
            std::string::npos);
}

TEST_F(LaunchPropertiesTest, FileNameCarriesTimeAndFolderEntryCount) {
  EXPECT_EQ(LaunchPropertiesPathFor(Path("app"), 123, 4), Path("app/FLLaunchProperties-123-4"));
  std::string app = Path("app");
  stdfs::create_directories(app);
  WriteBytes(Path("app/a"), "");
  WriteBytes(Path("app/b"), "");
  std::string name = MakeLaunchPropertiesPath(app);
  // "." and ".." count as entries of the listing.
  EXPECT_EQ(name.substr(name.size() - 2), "-4") << name;
  std::string missing = MakeLaunchPropertiesPath(Path("nowhere"));
  EXPECT_EQ(missing.substr(missing.size() - 2), "-0") << missing;
}

TEST_F(LaunchPropertiesTest, LsoPathUsesTheLastPartOfTheJreFolderName) {
  EXPECT_EQ(LsoFilePath(Path("m"), "Ferrolan-jre-1-complete"),
            Path("m/FLApps/JRE-LastSuccessfulOptions-Ferrolan-jre-1-complete"));
  EXPECT_EQ(LsoFilePath(Path("m"), "sub\\Ferrolan-jre-1-complete"),
            Path("m/FLApps/JRE-LastSuccessfulOptions-Ferrolan-jre-1-complete"));
}

TEST_F(LaunchPropertiesTest, UnwritableFileFailsAfterFiveRetries) {
  LaunchPropertiesRequest request = Request();
  request.appFolder = Path("missing-folder");  // the file cannot be created there
  std::vector<std::string> jvmOptions;
  int sleeps = 0;
  EXPECT_FALSE(WriteLaunchProperties({}, request, jvmOptions, [&](unsigned ms) {
    if (ms == kLaunchFileRetrySleepMs) ++sleeps;
  }));
  EXPECT_EQ(sleeps, 5);
  EXPECT_TRUE(ConsoleHas("Unable to write Launch Properties file! Cannot run!"));
}

}  // namespace
}  // namespace ferrolan::launch
