#include "fs/versioned_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fs/path.h"
#include "testing/temp_folder.h"

namespace ferrolan::fs {
namespace {

namespace stdfs = std::filesystem;

class MasterFolderTest : public testing::TempFolderTest {
 protected:
  void Folder(const std::string& name) { stdfs::create_directory(stdfs::path(master_) / name); }
  void File(const std::string& name) { std::ofstream(stdfs::path(master_) / name) << "x"; }
  const std::string master_ = Path();
};

TEST(FolderNameTest, VersionedNameAndItsVersion) {
  std::string master = "m";
  std::string expected = master;
  PathJoin(expected, "Ferrolan-MyApp-00052861018-complete");
  EXPECT_EQ(VersionedFolderName(master, "MyApp", "00052861018"), expected);
  EXPECT_EQ(FolderVersion("Ferrolan-MyApp-00052861018-complete"), 52861018);
  EXPECT_EQ(FolderVersion("Ferrolan-JRE-00000000000-complete"), 0);
  // Eleven digits beyond 32 bits still compare as numbers.
  EXPECT_EQ(FolderVersion("Ferrolan-MyApp-99999999999-complete"), 99999999999LL);
}

TEST(FolderNameTest, VersionIsReadLikeAtoi) {
  EXPECT_EQ(FolderVersion("Ferrolan-MyApp-complete"), -1);  // only two "-"
  EXPECT_EQ(FolderVersion("Ferrolan-MyApp"), -1);
  EXPECT_EQ(FolderVersion("plain"), -1);
  EXPECT_EQ(FolderVersion("a-b-12abc-d"), 12);
  EXPECT_EQ(FolderVersion("a-b-abc-d"), 0);
  EXPECT_EQ(FolderVersion("a-b--d"), 0);
  EXPECT_EQ(FolderVersion("a-b- 42-d"), 42);
  EXPECT_EQ(FolderVersion("a-b-99999999999999999999999-d"), INT64_MAX);  // saturates
}

TEST_F(MasterFolderTest, TempNameCountsTheEntriesAndRepeatsWithinASecond) {
  Folder("one");
  File("two");
  std::string first = TempFolderName(master_);
  std::string leaf = stdfs::path(first).filename().string();
  EXPECT_EQ(leaf.rfind("FerrolanTemp-", 0), 0u) << leaf;
  // "." and ".." count too.
  EXPECT_NE(leaf.find("-4-app"), std::string::npos) << leaf;
  EXPECT_FALSE(stdfs::exists(first));  // named, not created
  std::string second = TempFolderName(master_);
  if (stdfs::path(second).filename().string().substr(0, 23) == leaf.substr(0, 23)) {
    EXPECT_EQ(first, second);  // same second, nothing created in between
  }
  // A temporary folder never matches a component.
  Folder(leaf);
  EXPECT_EQ(PickFolder(master_, "app"), std::nullopt);
}

TEST_F(MasterFolderTest, PickFolderTakesTheHighestVersionOfExactlyThatComponent) {
  Folder("Ferrolan-Ferrolan-00052861018-complete");
  Folder("Ferrolan-Ferrolan-00052861020-complete");
  Folder("Ferrolan-Ferrolan-00052861019-complete");
  Folder("Ferrolan-MyApp-00000000009-complete");
  Folder("Ferrolan-ferrolan-00099999999-complete");  // the match is case-sensitive
  EXPECT_EQ(PickFolder(master_, "Ferrolan"), "Ferrolan-Ferrolan-00052861020-complete");
  EXPECT_EQ(PickFolder(master_, "MyApp"), "Ferrolan-MyApp-00000000009-complete");
  EXPECT_EQ(PickFolder(master_, "Other"), std::nullopt);
}

TEST_F(MasterFolderTest, PickFolderIgnoresEntriesWithoutAVersionAndNamesWithADash) {
  Folder("Ferrolan-MyApp-complete");
  EXPECT_EQ(PickFolder(master_, "MyApp"), std::nullopt);  // logged, never chosen
  Folder("Ferrolan-MyApp-00000000005-complete");
  EXPECT_EQ(PickFolder(master_, "MyApp"), "Ferrolan-MyApp-00000000005-complete");

  Folder("Ferrolan-My-App-00000000007-complete");
  EXPECT_EQ(PickFolder(master_, "My-App"), std::nullopt);
}

TEST_F(MasterFolderTest, VersionZeroWinsOverNothingAndFilesCountToo) {
  File("Ferrolan-jre-00000000000-complete");
  EXPECT_EQ(PickFolder(master_, "jre"), "Ferrolan-jre-00000000000-complete");
}

TEST_F(MasterFolderTest, EmptyOrMissingMasterFolderPicksNothing) {
  EXPECT_EQ(PickFolder(master_, "MyApp"), std::nullopt);
  EXPECT_EQ(PickFolder(master_ + "-missing", "MyApp"), std::nullopt);
  EXPECT_NE(TempFolderName(master_ + "-missing").find("-0-app"), std::string::npos);
}

}  // namespace
}  // namespace ferrolan::fs
