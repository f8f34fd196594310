// The download branch of the JRE setup with its network operations replaced: the names and
// URLs it forms, the version file rules, and every way it fails.
#include "launcher/jre_setup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testing/log_capture.h"
#include "testing/temp_folder.h"

namespace ferrolan::launcher {
namespace {

namespace stdfs = std::filesystem;

class JreSetupTest : public ferrolan::testing::TempFolderTest {
 protected:
  void SetUp() override {
    stdfs::create_directories(root_ / "updater");
    flow_.jreName = "jre17";
    flow_.updateUrl = "http://updates.invalid/app/";
    flow_.masterFolder = root_.string();
    flow_.wrapperTail.emplace();  // an online build: no JRE in the tail
    input_.flow = &flow_;
    input_.updaterFolder = (root_ / "updater").string();
    ops_.searchSystemJre = [this](const JreSetupInput&) {
      calls_.push_back("search");
      return SystemJreSearch{};
    };
    ops_.downloadVersionFile = [this](const std::string& url, const std::string& file) {
      calls_.push_back("version " + url);
      if (versionFile_) std::ofstream(file, std::ios::binary) << *versionFile_;
      return versionFile_ ? 1 : 0;
    };
    ops_.downloadAndExtract = [this](const std::string& url, const std::string& folder,
                                     const archive::UpdateComponent* declared) {
      calls_.push_back("archive " + url);
      if (declared) calls_.push_back("declared " + std::to_string(declared->length));
      EXPECT_TRUE(stdfs::is_directory(folder));
      return archiveWorks_ ? 1 : 0;
    };
    ops_.regenerateClassData = [this](const std::string&) { calls_.push_back("jsa"); };
    ops_.millisText = [] { return std::string("123"); };
  }
  ServerVersion Read(const std::string& text) {
    std::ofstream(root_ / "v.txt", std::ios::binary) << text;
    std::FILE* stream = std::fopen((root_ / "v.txt").string().c_str(), "r");
    ServerVersion version = ReadServerVersion(stream);
    std::fclose(stream);
    return version;
  }

  MainFlow flow_;
  JreSetupInput input_;
  JreSetupOps ops_;
  std::vector<std::string> calls_;
  std::optional<std::string> versionFile_;
  bool archiveWorks_ = true;
};

TEST_F(JreSetupTest, VersionTextRules) {
  EXPECT_TRUE(IsValidVersionText("00000000042"));
  for (const char* bad : {"", "1.2", "../5", "5-1", " 5", "+5", "1/2"})
    EXPECT_FALSE(IsValidVersionText(bad)) << bad;

  ferrolan::testing::LogCapture log;
  EXPECT_EQ(Read("00000000042\r\nignored").text, "00000000042");
  EXPECT_TRUE(
      log.Has("[JREDownload] Extracting version: 00000000042\n[JREDownload] Spaces in "
              "version file, assuming EOF\n\n"));
  EXPECT_EQ(Read("17 trailing").text, "17");
  EXPECT_EQ(Read(" 17").text, "");
  const std::string fifty(50, '7');
  EXPECT_EQ(Read(fifty).text, fifty);
  EXPECT_FALSE(Read(fifty + "\n").tooLong);
  EXPECT_TRUE(Read(fifty + "7").tooLong);
  EXPECT_TRUE(log.Has("[JREDownload] Extracting version: " + fifty +
                      "7\n[JREDownload] Version invalid (too long)\n"));
  EXPECT_TRUE(log.Has("[JREDownload] Extracting version: " + fifty + "\n"));
}

TEST_F(JreSetupTest, DownloadsTheVersionTheServerNames) {
  versionFile_ = "00000000042\n";
  std::optional<JreSetupResult> result = SetUpJre(input_, ops_).jre;
  ASSERT_TRUE(result);
  EXPECT_EQ(stdfs::path(result->jreFolder), root_ / "Ferrolan-jre17-00000000042-complete");
  EXPECT_TRUE(stdfs::is_directory(result->tempFolder));
  const std::vector<std::string> expected = {
      "search", "version http://updates.invalid/app/Ferrolan-jre17-version.txt?time=123",
      "archive http://updates.invalid/app/Ferrolan-jre17-00000000042-archive.p2.l2", "jsa"};
  EXPECT_EQ(calls_, expected);
  EXPECT_TRUE(stdfs::exists(root_ / "updater" / "Ferrolan-jre17-version.txt"));
}

// The unsigned version file must agree with the signed metadata where the folder has it, and
// the archive is then held to the length and digest the metadata declares.
TEST_F(JreSetupTest, SignedMetadataBindsTheVersionFileAndTheArchive) {
  versionFile_ = "00000000042\n";
  archive::UpdateComponent declared{
      archive::UpdateComponentKind::kJre,         "jre17", "00000000042",
      "Ferrolan-jre17-00000000042-archive.p2.l2", 1234,    std::string(64, 'a')};
  ops_.declaredJre = [&declared](const MainFlow&) {
    return std::optional<archive::UpdateComponent>(declared);
  };
  ASSERT_TRUE(SetUpJre(input_, ops_).jre);
  EXPECT_EQ(calls_.at(2),
            "archive http://updates.invalid/app/Ferrolan-jre17-00000000042-archive.p2.l2");
  EXPECT_EQ(calls_.at(3), "declared 1234");

  calls_.clear();
  declared.version = "00000000041";  // a version file that names another release
  ferrolan::testing::LogCapture log;
  EXPECT_FALSE(SetUpJre(input_, ops_).jre);
  EXPECT_TRUE(
      log.Has("The version file names 00000000042, the signed update metadata 00000000041"));
  EXPECT_EQ(calls_.size(), 2u);  // no archive download
}

TEST_F(JreSetupTest, DownloadFailures) {
  EXPECT_FALSE(SetUpJre(input_, ops_).jre);  // no version file
  // Versions that would leave the master folder or change the folder's version, and one too
  // long: no archive is asked for.
  for (const std::string& bad :
       {std::string("../../x"), std::string("1-2"), std::string(51, '1')}) {
    calls_.clear();
    versionFile_ = bad;
    EXPECT_FALSE(SetUpJre(input_, ops_).jre) << bad;
    EXPECT_EQ(calls_.size(), 2u) << bad;
  }
  versionFile_ = "00000000042";
  archiveWorks_ = false;
  EXPECT_FALSE(SetUpJre(input_, ops_).jre);

  // A blank first: the archive is still asked for, and even when it comes the setup fails for
  // want of a version.
  calls_.clear();
  versionFile_ = " 00000000042";
  archiveWorks_ = true;
  EXPECT_FALSE(SetUpJre(input_, ops_).jre);
  ASSERT_EQ(calls_.size(), 4u);
  EXPECT_EQ(calls_[2], "archive http://updates.invalid/app/Ferrolan-jre17--archive.p2.l2");
}

}  // namespace
}  // namespace ferrolan::launcher
