#include "fs/versioned_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
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

TEST_F(MasterFolderTest, PickFolderIgnoresEntriesWithoutAVersionAndFindsNamesWithADash) {
  Folder("Ferrolan-MyApp-complete");
  EXPECT_EQ(PickFolder(master_, "MyApp"), std::nullopt);  // logged, never chosen
  Folder("Ferrolan-MyApp-00000000005-complete");
  EXPECT_EQ(PickFolder(master_, "MyApp"), "Ferrolan-MyApp-00000000005-complete");

  // A name with dashes is found under its whole name, and its parts are not names of their own:
  // "My" and "My-App-2" are other applications.
  Folder("Ferrolan-My-App-00000000007-complete");
  Folder("Ferrolan-My-App-2-00000000009-complete");
  EXPECT_EQ(PickFolder(master_, "My-App"), "Ferrolan-My-App-00000000007-complete");
  EXPECT_EQ(PickFolder(master_, "My-App-2"), "Ferrolan-My-App-2-00000000009-complete");
  EXPECT_EQ(PickFolder(master_, "My"), std::nullopt);
  EXPECT_EQ(PickFolder(master_, "App"), std::nullopt);
  EXPECT_EQ(FolderVersion("Ferrolan-My-App-2-00000000009-complete"), 9);
  EXPECT_EQ(FolderVersion("Ferrolan--00000000003-complete"), 3);  // an empty name, still read
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

// Names planted in the master folder by someone who can write to it: every kind of entry at
// the name the launcher would take is passed over, and no link counts as installed.
TEST_F(MasterFolderTest, TakenTempNamesArePassedOverAndLinksAreNotInstalled) {
  const stdfs::path master = stdfs::path(master_) / "master";
  const stdfs::path outside = stdfs::path(master_) / "outside";
  stdfs::create_directories(master);
  stdfs::create_directories(outside);
  const std::string first = TempFolderName(master.string());
  const std::string leaf = stdfs::path(first).filename().string();  // FerrolanTemp-<s>-<n>-app
  const std::string stem = leaf.substr(0, leaf.rfind('-', leaf.size() - 5) + 1);
  const int entries = std::stoi(leaf.substr(stem.size()));
  // A file at the first name and links at the next ones: the count is raised past all of them.
  std::error_code ec;
  for (int next = entries + 1; next <= entries + 3; ++next) {
    stdfs::create_directory_symlink(outside, master / (stem + std::to_string(next) + "-app"), ec);
    if (ec) GTEST_SKIP() << "this system cannot make links: " << ec.message();
  }
  std::ofstream(master / leaf) << "x";
  const std::string named = TempFolderName(master.string());
  EXPECT_FALSE(stdfs::exists(stdfs::symlink_status(named))) << named;
  std::optional<std::string> made = CreateTempFolder(master.string());
  ASSERT_TRUE(made.has_value());
  EXPECT_TRUE(stdfs::is_directory(stdfs::symlink_status(*made)));
  EXPECT_TRUE(stdfs::is_empty(outside));

  stdfs::create_directory_symlink(outside, master / "Ferrolan-MyApp-00000000009-complete");
  stdfs::create_directory(master / "Ferrolan-MyApp-00000000003-complete");
  EXPECT_EQ(PickFolder(master.string(), "MyApp"), "Ferrolan-MyApp-00000000003-complete");

  // A master folder that is itself a link holds nothing installed, and nothing is created in it.
  const stdfs::path linkedMaster = stdfs::path(master_) / "linked-master";
  stdfs::create_directory_symlink(master, linkedMaster);
  GuardAgainstLinks(linkedMaster.string());
  EXPECT_FALSE(PickFolder(linkedMaster.string(), "MyApp").has_value());
  EXPECT_FALSE(CreateTempFolder(linkedMaster.string()).has_value());
  GuardAgainstLinks("");
}

}  // namespace
}  // namespace ferrolan::fs
