// The version-file probe: where it fetches from and into, and the cases where it fetches
// nothing.
#include "net/version_probe.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "net/download_pipelines.h"
#include "net/fake_transport.h"
#include "testing/files.h"
#include "testing/temp_folder.h"

namespace ferrolan::net {
namespace {

namespace stdfs = std::filesystem;

class VersionProbeTest : public ferrolan::testing::LoggedTempFolderTest {
 protected:
  void SetUp() override {
    ResetWorkingProxySettingsForTesting();
    environment_.transport = [this](const std::string& name) {
      return std::make_unique<FakeTransport>(name == "Direct" ? direct_ : Script{});
    };
    environment_.detectProxyForUrl = [](const std::string&) { return ProxySettings{}; };
  }
  void TearDown() override {
    JoinLingeringDownloadThreads();
    ResetWorkingProxySettingsForTesting();
    LoggedTempFolderTest::TearDown();
  }

  Script direct_;
  RaceEnvironment environment_;
};

TEST_F(VersionProbeTest, FetchesTheStampedVersionFileIntoTheFolder) {
  direct_ = Delivers({"00000000017\r\n"});
  const std::string folder = (root_ / "updater").string();
  stdfs::create_directories(folder);
  EXPECT_EQ(ProbeVersionFile(folder + "/", "http://updates.example/app/", "jre17", environment_),
            ProbeOutcome::kFetched);
  // One separator between folder and name, however the folder was given.
  const stdfs::path file = root_ / "updater" / "Ferrolan-jre17-version.txt";
  EXPECT_EQ(ferrolan::testing::ReadFile(file), "00000000017\r\n");
  EXPECT_TRUE(
      ConsoleHas("[Streamer] Downloading from "
                 "http://updates.example/app/Ferrolan-jre17-version.txt?time="));
  EXPECT_TRUE(ConsoleHas("updater" + std::string(1, stdfs::path::preferred_separator) +
                         "Ferrolan-jre17-version.txt"));
  EXPECT_TRUE(WorkingProxySettings());
}

TEST_F(VersionProbeTest, AFailedFetchLeavesNoFile) {
  EXPECT_EQ(ProbeVersionFile(root_.string(), "http://updates.example/", "jre17", environment_),
            ProbeOutcome::kNotFetched);
  EXPECT_FALSE(stdfs::exists(root_ / "Ferrolan-jre17-version.txt"));

  // A version file longer than any version file may be, with or without its length announced:
  // not fetched, and what arrived of it is gone.
  for (bool announced : {true, false}) {
    direct_ = Delivers({std::string(4000, '0'), std::string(4000, '0')});
    if (!announced) direct_.length.reset();
    EXPECT_EQ(ProbeVersionFile(root_.string(), "http://updates.example/", "jre17", environment_),
              ProbeOutcome::kNotFetched);
    EXPECT_FALSE(stdfs::exists(root_ / "Ferrolan-jre17-version.txt"));
    JoinLingeringDownloadThreads();
  }
  EXPECT_TRUE(ConsoleHas("above the limit of 4096 bytes"));
  EXPECT_TRUE(ConsoleHas("The body is longer than the limit of 4096 bytes"));
}

TEST_F(VersionProbeTest, FetchesNothingWithoutAServerOrWithOverlongNames) {
  for (const char* url : {"http://0.0.254.254", "http://0.0.254.254/updates/"}) {
    EXPECT_EQ(ProbeVersionFile(root_.string(), url, "jre17", environment_), ProbeOutcome::kSkipped);
  }
  EXPECT_TRUE(Logged("[Extractor] Invalid Update URL. Skipping..."));
  const std::string longUrl = "http://updates.example/" + std::string(kMaxProbeUrl, 'a') + "/";
  EXPECT_EQ(ProbeVersionFile(root_.string(), longUrl, "jre17", environment_),
            ProbeOutcome::kRefused);
  EXPECT_TRUE(stdfs::is_empty(root_));
  EXPECT_FALSE(ConsoleHas("[Streamer] Downloading from"));
}

TEST(MillisTextTest, IsTheLowThirtyTwoBitsOfTheMillisecondClock) {
  const std::string text = MillisText();
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_LE(std::stoull(text), 0xFFFFFFFFull);
}

}  // namespace
}  // namespace ferrolan::net
