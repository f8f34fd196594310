#include "launcher/run_mode.h"

#include <gtest/gtest.h>

#include <vector>

namespace ferrolan::launcher {
namespace {

RunSelection Select(std::vector<const char*> args) {
  args.insert(args.begin(), "C:\\apps\\ferrolan.exe");
  return SelectRunMode(static_cast<int>(args.size()), args.data());
}

TEST(RunModeTest, NormalRunsAndPrepareOnly) {
  RunSelection none = Select({});
  EXPECT_EQ(none.mode, RunMode::Normal);
  EXPECT_FALSE(none.prepareOnly);  // the program path is compared and differs

  RunSelection only = Select({"FLPREPARE_FOR_LAUNCH_ONLY"});
  EXPECT_EQ(only.mode, RunMode::Normal);
  EXPECT_TRUE(only.prepareOnly);

  EXPECT_TRUE(Select({"/S", "x", "FLPREPARE_FOR_LAUNCH_ONLY"}).prepareOnly);
  EXPECT_FALSE(Select({"FLPREPARE_FOR_LAUNCH_ONLY", "/S"}).prepareOnly);
  EXPECT_FALSE(Select({"flprepare_for_launch_only"}).prepareOnly);
}

TEST(RunModeTest, ProgramPathEqualToPrepareArgumentCounts) {
  // With no arguments the last element is the program path itself.
  const char* argv[] = {"FLPREPARE_FOR_LAUNCH_ONLY"};
  EXPECT_TRUE(SelectRunMode(1, argv).prepareOnly);
}

TEST(RunModeTest, TestOptionsNeedAFurtherArgument) {
  EXPECT_EQ(Select({"--quorvantis-proxytest"}).mode, RunMode::Normal);
  EXPECT_EQ(Select({"--quorvantis-proxytest", "http://x/"}).mode, RunMode::ProxyTest);
  EXPECT_EQ(Select({"--quorvantis-extracttest", "ignored"}).mode, RunMode::ExtractTest);
  EXPECT_EQ(Select({"--quorvantis-downloadtest2", "http://x/"}).mode, RunMode::DownloadTest2);
  EXPECT_EQ(Select({"--quorvantis-downloadtest", "http://x/"}).mode, RunMode::DownloadTest);
  EXPECT_EQ(Select({"--quorvantis-downloadtest", "http://x/", "Direct"}).mode,
            RunMode::DownloadTest);
}

TEST(RunModeTest, TestOptionsAreExactAndOnlyFirst) {
  EXPECT_EQ(Select({"--Quorvantis-proxytest", "u"}).mode, RunMode::Normal);
  EXPECT_EQ(Select({"--quorvantis-proxytestx", "u"}).mode, RunMode::Normal);
  EXPECT_EQ(Select({"u", "--quorvantis-proxytest", "u"}).mode, RunMode::Normal);
  // A test option with a prepare argument after it is a test run, never prepare-only.
  RunSelection s = Select({"--quorvantis-extracttest", "FLPREPARE_FOR_LAUNCH_ONLY"});
  EXPECT_EQ(s.mode, RunMode::ExtractTest);
  EXPECT_FALSE(s.prepareOnly);
}

TEST(RunModeTest, SplashTestLooksAtFirstArgumentOnly) {
  EXPECT_EQ(Select({"-TESTSPLASH"}).mode, RunMode::SplashTest);
  EXPECT_EQ(Select({"-TESTSPLASH", "a", "FLPREPARE_FOR_LAUNCH_ONLY"}).mode, RunMode::SplashTest);
  EXPECT_EQ(Select({"a", "-TESTSPLASH"}).mode, RunMode::Normal);
  EXPECT_EQ(Select({"-testsplash"}).mode, RunMode::Normal);
}

TEST(RunModeTest, UninstallIsTheLastArgumentOfANormalRun) {
  EXPECT_EQ(Select({"FLUNINSTALL"}).mode, RunMode::Uninstall);
  EXPECT_EQ(Select({"/S", "FLUNINSTALL"}).mode, RunMode::Uninstall);
  EXPECT_FALSE(Select({"FLUNINSTALL"}).prepareOnly);
  // Anywhere else, or in another case, it is an argument for the application.
  EXPECT_EQ(Select({"FLUNINSTALL", "x"}).mode, RunMode::Normal);
  EXPECT_EQ(Select({"FLUNINSTALL", "FLPREPARE_FOR_LAUNCH_ONLY"}).mode, RunMode::Normal);
  EXPECT_EQ(Select({"fluninstall"}).mode, RunMode::Normal);
  // Developer test modes come first; a program named like the argument runs normally.
  EXPECT_EQ(Select({"--quorvantis-extracttest", "FLUNINSTALL"}).mode, RunMode::ExtractTest);
  EXPECT_EQ(Select({"-TESTSPLASH", "FLUNINSTALL"}).mode, RunMode::SplashTest);
  const char* argv[] = {"FLUNINSTALL"};
  EXPECT_EQ(SelectRunMode(1, argv).mode, RunMode::Normal);
}

TEST(RunModeTest, TheUpdateCommandsAreLastArgumentsToo) {
  EXPECT_EQ(Select({"FLUPDATE_CHECK"}).mode, RunMode::UpdateCheck);
  EXPECT_EQ(Select({"--greet", "FLUPDATE_DOWNLOAD"}).mode, RunMode::UpdateDownload);
  EXPECT_EQ(Select({"FLUPDATE_CHECK", "x"}).mode, RunMode::Normal);
  EXPECT_EQ(Select({"flupdate_check"}).mode, RunMode::Normal);
  EXPECT_EQ(Select({"-TESTSPLASH", "FLUPDATE_CHECK"}).mode, RunMode::SplashTest);
}

TEST(RunModeTest, DegenerateVectors) {
  EXPECT_EQ(SelectRunMode(0, nullptr).mode, RunMode::Normal);
  const char* empty[] = {""};
  EXPECT_FALSE(SelectRunMode(1, empty).prepareOnly);
}

}  // namespace
}  // namespace ferrolan::launcher
