#include "jre/jre_search.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "jre/jre_layout.h"
#include "jre/jre_layout_os.h"
#include "jre/jre_test_support.h"
#include "os/os.h"
#include "testing/temp_folder.h"

namespace ferrolan::jre {
namespace {

namespace stdfs = std::filesystem;
using testing::FakeJre;
using testing::kJava11;
using testing::kJava17;
using testing::kJava8;

class JreSearchTest : public ferrolan::testing::LoggedTempFolderTest {
 protected:
  void SetUp() override {
    ferrolan::testing::LoggedTempFolderTest::SetUp();
    os::SetEnv("PROGRAMFILES", Path("pf"));
    stdfs::create_directories(Path("master/Ferrolan-Ferrolan-00000000002-complete"));
    stdfs::create_directories(Path("master/Ferrolan-Ferrolan-00000000007-complete"));
  }
  void TearDown() override {
    os::SetEnv("PROGRAMFILES", saved_);
    ferrolan::testing::LoggedTempFolderTest::TearDown();
  }

  /// A system JRE jre<n> under PROGRAMFILES\Java (or Java_FLAutoTest).
  std::string Install(int n, const FakeJre& jre, const char* javaFolder = "Java") {
    std::string folder = Path(std::string("pf/") + javaFolder + "/jre" + std::to_string(n));
    testing::MakeFakeJre(folder, jre);
    return folder;
  }

  /// Runs the search with a compatibility test that passes the launchers in `compatible`.
  JreSearchStatus Search(const std::optional<std::string>& required, bool autoTest = false) {
    JreSearchRequest request;
    request.masterFolder = Path("master");
    request.autoTest = autoTest;
    request.requiredVersion = required;
    request.compatibilityTest = [this](const CompatibilityRun& run) {
      runs_.push_back(run);
      tested_.push_back(run.javaLauncher);
      if (onTest_) onTest_();
      if (abort_) return Compatibility::kAbort;
      return compatible_.count(run.javaLauncher) != 0 ? Compatibility::kCompatible
                                                      : Compatibility::kIncompatible;
    };
    JreSearchResult result = JRESearch(request);
    version_ = result.version;
    folder_ = result.folder;
    EXPECT_EQ(result.status == JreSearchStatus::kTaken, !version_.empty());
    return result.status;
  }
  void Compatible(const std::string& jreFolder) {
    compatible_.insert(LocateJavaLauncher(jreFolder));
  }

  std::optional<std::string> saved_ = os::GetEnv("PROGRAMFILES");
  std::string version_;
  std::string folder_;
  bool abort_ = false;
  std::set<std::string> compatible_;
  std::vector<std::string> tested_;
  std::vector<CompatibilityRun> runs_;
  std::function<void()> onTest_;  // runs inside the compatibility test
};

TEST_F(JreSearchTest, TakesTheNewestUsableJreAndCopiesIt) {
  std::string jre11 = Install(11, {kJava11});
  std::string jre8 = Install(8, {kJava8});
  Compatible(jre11);
  Compatible(jre8);
  Search("8");

  EXPECT_EQ(version_, "00000000000");
  ASSERT_EQ(tested_, std::vector<std::string>{LocateJavaLauncher(jre11)});
  EXPECT_EQ(stdfs::path(folder_).parent_path(), stdfs::path(Path("master")));
  EXPECT_EQ(stdfs::path(folder_).filename().string().rfind("FerrolanTemp-", 0), 0u);
  EXPECT_EQ(Read(folder_ + "/release"), Read(jre11 + "/release"));
  EXPECT_TRUE(stdfs::exists(LocateUnpack200(folder_)));
  EXPECT_TRUE(stdfs::exists(LocateJavaLauncher(folder_)));
  if (detail::PreferredLauncherName() == nullptr) {
    // POSIX: the copied launcher must still be executable.
    EXPECT_NE(stdfs::status(LocateJavaLauncher(folder_)).permissions() & stdfs::perms::owner_exec,
              stdfs::perms::none);
  }
  EXPECT_TRUE(Logged("[JRESearch] Checking for JRE 20"));
  EXPECT_TRUE(Logged("[JRESearch] JRE unpack200 exists " + LocateJavaLauncher(jre11)));
  EXPECT_TRUE(Logged("[JRESearch] JRE is valid, copying..."));
  EXPECT_TRUE(Logged("[JRESearch] JRE copied to " + folder_ + " OK"));
  EXPECT_TRUE(Logged("[JRESearch] Copied JRE version is 00000000000"));
  EXPECT_FALSE(Logged("[JRESearch] Checking for JRE 10"));  // the search stopped at 11

  // The compatibility test runs the newest updater.
  EXPECT_EQ(runs_.front().updaterFolderName, "Ferrolan-Ferrolan-00000000007-complete");
}

TEST_F(JreSearchTest, CandidatesFailingAFileOrVersionTestAreSkipped) {
  std::string noUnpacker = Install(17, {kJava17, true, false});
  std::string noLauncher = Install(16, {kJava17, false, true});
  std::string tooOld = Install(15, {kJava8});
  std::string good = Install(6, {kJava11});
  for (const std::string& jre : {noUnpacker, noLauncher, tooOld, good}) Compatible(jre);
  Search("11");

  EXPECT_EQ(tested_, std::vector<std::string>{LocateJavaLauncher(good)});
  EXPECT_EQ(version_, "00000000000");
  EXPECT_TRUE(Logged("[JRESearch] JRE up200 does NOT exist"));
  EXPECT_TRUE(Logged("[JRESearch] JRE binary does NOT exist"));
  EXPECT_TRUE(Logged("[JRESearch] JRE version is NOT OK"));
  // Every candidate from 20 down to 7 fails one test and gets the same message.
  EXPECT_EQ(CountStartingWith("[JRESearch] JRE does not exist or does not have unpack200"), 14);
  // All three tests run for every candidate.
  EXPECT_EQ(CountStartingWith("[JRESearch] JRE version is "), 15);
}

TEST_F(JreSearchTest, OnlyACompatibleVerdictTakesACandidate) {
  Install(12, {kJava17});
  Install(9, {kJava11});
  Search("11");  // nothing is compatible: both run
  EXPECT_EQ(tested_.size(), 2u);
  EXPECT_EQ(CountStartingWith("[JRESearch] JRE failed compatibility test"), 2);
  EXPECT_EQ(version_, "");
  EXPECT_EQ(folder_, "");
}

TEST_F(JreSearchTest, AbsentRequirementRejectsEveryCandidate) {
  Compatible(Install(17, {kJava17}));
  Search(std::nullopt);
  EXPECT_TRUE(tested_.empty());
  EXPECT_EQ(version_, "");
  EXPECT_EQ(CountStartingWith("[Extractor] Versions for JREs could not be detected (0,1)"), 16);

  // An empty requirement accepts any version.
  Search("");
  EXPECT_EQ(version_, "00000000000");
}

TEST_F(JreSearchTest, AutoTestSearchesItsOwnFolder) {
  Compatible(Install(17, {kJava17}, "Java"));
  std::string autoTestJre = Install(11, {kJava11}, "Java_FLAutoTest");
  Compatible(autoTestJre);
  Search("8", true);
  EXPECT_EQ(tested_, std::vector<std::string>{LocateJavaLauncher(autoTestJre)});
  EXPECT_EQ(version_, "00000000000");

  // Without PROGRAMFILES an auto-test run has no candidates at all.
  os::SetEnv("PROGRAMFILES", std::nullopt);
  version_.clear();
  tested_.clear();
  Search("8", true);
  EXPECT_TRUE(tested_.empty());
  EXPECT_EQ(version_, "");
}

TEST_F(JreSearchTest, FailedCopyStopsTheSearch) {
  std::string jre17 = Install(17, {kJava17});
  Compatible(jre17);
  Compatible(Install(11, {kJava11}));
  // The candidate disappears between its test and its copy, so the copy cannot read it.
  onTest_ = [&] { stdfs::remove_all(jre17); };
  Search("8");
  EXPECT_TRUE(Logged("[JRESearch] JRE copy failed, cannot pick up existing JRE"));
  EXPECT_EQ(tested_.size(), 1u);  // jre11 is not tried
  EXPECT_EQ(version_, "");
  EXPECT_TRUE(stdfs::is_directory(folder_));  // the started folder stays behind
}

TEST_F(JreSearchTest, NoUpdaterFolderOrAnAbortedTestFailsTheSearch) {
  Compatible(Install(17, {kJava17}));
  Compatible(Install(11, {kJava11}));
  abort_ = true;
  EXPECT_EQ(Search("8"), JreSearchStatus::kFailed);
  EXPECT_EQ(tested_.size(), 1u);  // nothing after an aborted test
  EXPECT_EQ(folder_, "");

  stdfs::remove_all(Path("master"));
  stdfs::create_directories(Path("master"));
  tested_.clear();
  EXPECT_EQ(Search("8"), JreSearchStatus::kFailed);
  EXPECT_TRUE(tested_.empty());
  EXPECT_TRUE(
      Logged("[JRESearch] ********************* No latest App version even after download!"));
}

// Someone who can write to the master folder plants links at the temporary names the copy
// would take next (predicted from the time and the number of entries): the copy goes into a
// folder of its own and nothing is written through the links.
TEST_F(JreSearchTest, CopyNeverWritesThroughALinkAtTheTemporaryName) {
  std::string jre17 = Install(17, {kJava17});
  Compatible(jre17);
  stdfs::create_directories(Path("outside"));
  bool planted = true;
  onTest_ = [&] {
    const long seconds = static_cast<long>(std::time(nullptr));
    const long entries =
        static_cast<long>(std::distance(stdfs::directory_iterator(Path("master")), {})) + 2;
    constexpr long kPerSecond = 3;
    for (long second : {seconds, seconds + 1}) {
      for (long n = 0; n < kPerSecond; ++n) {
        const std::string name = "master/FerrolanTemp-" + std::to_string(second) + "-" +
                                 std::to_string(entries + 2 * kPerSecond + n) + "-app";
        std::error_code ec;
        stdfs::create_directory_symlink(Path("outside"), Path(name), ec);
        planted = planted && !ec;
      }
    }
  };
  Search("8");
  if (!planted) GTEST_SKIP() << "this system cannot make links";
  EXPECT_EQ(version_, "00000000000");
  EXPECT_FALSE(stdfs::is_symlink(folder_));
  EXPECT_TRUE(stdfs::exists(LocateJavaLauncher(folder_)));
  EXPECT_TRUE(stdfs::is_empty(Path("outside")));
  EXPECT_GE(CountStartingWith("[Extractor] Temporary name "), 1);
}

}  // namespace
}  // namespace ferrolan::jre
