// The extraction in process, with the JRE setup's outside operations and the launch replaced:
// an online build, which the end-to-end tests cannot cover without a system JRE.
#include "launcher/extraction.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "archive/unarchiver.h"
#include "pipeline/ring_buffer.h"
#include "testing/files.h"
#include "testing/temp_folder.h"

namespace ferrolan::launcher {
namespace {

namespace stdfs = std::filesystem;

using ferrolan::testing::ReadFile;

std::string Entry(const std::string& name, const std::string& content) {
  return archive::EncodeEntryHeader(archive::EntryType::kFile, name,
                                    static_cast<std::int64_t>(content.size())) +
         content;
}

std::shared_ptr<pipeline::RingBuffer> Filled(const std::string& bytes) {
  auto buffer = pipeline::RingBuffer_create(9, static_cast<int>(bytes.size()) + 1);
  pipeline::RingBuffer_write(*buffer, bytes.data(), static_cast<int>(bytes.size()));
  pipeline::RingBuffer_close(*buffer);
  return buffer;
}

class ExtractionTest : public ferrolan::testing::TempFolderTest {
 protected:
  void SetUp() override {
    stdfs::create_directories(root_ / "master" / "FLAppsSharedConfig");
    flow_.masterFolder = (root_ / "master").string();
    flow_.sharedConfigFolder = (root_ / "master" / "FLAppsSharedConfig").string();
    flow_.jreName = "jre17";
    flow_.prepareOnly = true;
    fields_.appName = "Demo";
    fields_.guVersion = "00000000002";

    ops_.jre = SystemJreSetupOps();  // its downloads fail; nothing reaches the network
    ops_.jre.searchSystemJre = [](const JreSetupInput&) { return SystemJreSearch{}; };
    ops_.jre.regenerateClassData = [](const std::string&) {};
    ops_.patchSubsystem = [this](const std::string& path) {
      patched_.push_back(path);
      return true;
    };
    ops_.workingProxy = [] { return std::optional<net::ProxySettings>(); };
    ops_.launch = [this](const MainFlow&, const std::string& folder) {
      launched_.push_back(folder);
      return launch::LaunchOutcome{};
    };
  }
  // The five updater entries, as plain files (the updater archive's content is not looked at).
  static std::string UpdaterEntries() {
    return Entry("lzma.exe", "lzma") + Entry("nativesplash.png", "png") +
           Entry("cacerts", "certs") + Entry("FerrolanLaunch", "launch") +
           Entry("updater.version", "2");
  }

  ExitCode Extract(const std::string& tailBytes) {
    flow_.wrapperTail.emplace(tail::WrapperTail{fields_, {Filled(tailBytes), {}}});
    return ExtractAndPrepare(flow_, InstallDecision{}, ops_);
  }

  MainFlow flow_;
  tail::TailFields fields_;
  ExtractionOps ops_;
  std::vector<std::string> patched_;
  std::vector<std::string> launched_;
};

TEST_F(ExtractionTest, OnlineBuildCopiesSystemJreAndLaunches) {
  // A bare launcher, and a version that would leave the master folder, install nothing.
  fields_.guVersion.clear();
  EXPECT_EQ(Extract(UpdaterEntries()), ExitCode::kFailure);
  fields_.guVersion = "2/../../x";
  EXPECT_EQ(Extract(UpdaterEntries()), ExitCode::kFailure);
  EXPECT_TRUE(patched_.empty());

  fields_.guVersion = "00000000002";
  flow_.prepareOnly = false;
  ops_.jre.searchSystemJre = [this](const JreSetupInput&) {
    SystemJreSearch search;
    search.result.status = jre::JreSearchStatus::kTaken;
    search.result.folder = (root_ / "master" / "FerrolanTemp-copy-app").string();
    stdfs::create_directories(stdfs::path(search.result.folder) / "lib" / "security");
    std::ofstream(stdfs::path(search.result.folder) / "lib" / "security" / "cacerts") << "system";
    search.result.version = "00000000000";
    return search;
  };
  bool proxyAsked = false;
  ops_.workingProxy = [&] {
    proxyAsked = true;
    return std::optional<net::ProxySettings>(net::ProxySettings{"p:1", std::nullopt});
  };
  ASSERT_EQ(Extract(UpdaterEntries()), ExitCode::kSuccess);
  const stdfs::path jre = root_ / "master" / "Ferrolan-jre17-00000000000-complete";
  EXPECT_EQ(ReadFile(jre / "lib" / "security" / "cacerts"), "certs");
  EXPECT_TRUE(proxyAsked);
  EXPECT_EQ(ReadFile(root_ / "master" / "FLAppsSharedConfig" / "DetectedProxy"), "p:1");
  EXPECT_EQ(launched_, std::vector<std::string>{"Ferrolan-Ferrolan-00000000002-complete"});
  EXPECT_EQ(archive::Unpack200Path().find(jre.string()), 0u);
}

TEST_F(ExtractionTest, FailuresOfTheSetupAndTheLaunchBecomeExitCodes) {
  flow_.prepareOnly = false;
  // A compatibility test that could not write its settings ends the run with its code.
  ops_.jre.searchSystemJre = [](const JreSetupInput&) {
    SystemJreSearch search;
    search.result.status = jre::JreSearchStatus::kFailed;
    search.failure = ExitCode::kLaunchPropertiesUnwritable;
    return search;
  };
  EXPECT_EQ(Extract(UpdaterEntries()), ExitCode::kLaunchPropertiesUnwritable);
  EXPECT_TRUE(launched_.empty());

  // A launch that could not start its child.
  ops_.jre.searchSystemJre = [this](const JreSetupInput&) {
    SystemJreSearch search;
    search.result.status = jre::JreSearchStatus::kTaken;
    search.result.folder = (root_ / "master" / "FerrolanTemp-copy").string();
    stdfs::create_directories(search.result.folder);
    search.result.version = "00000000000";
    return search;
  };
  ops_.launch = [](const MainFlow&, const std::string&) {
    return launch::LaunchOutcome{launch::LaunchStatus::kSpawnFailed, true, -1, ""};
  };
  EXPECT_EQ(Extract(UpdaterEntries()), ExitCode::kSpawnFailed);

  // lzma.exe that cannot be made windowed stops the installation before anything is renamed.
  stdfs::remove_all(root_ / "master" / "Ferrolan-Ferrolan-00000000002-complete");
  ops_.patchSubsystem = [](const std::string&) { return false; };
  EXPECT_EQ(Extract(UpdaterEntries()), ExitCode::kFailure);
  EXPECT_FALSE(stdfs::exists(root_ / "master" / "Ferrolan-Ferrolan-00000000002-complete"));
}

}  // namespace
}  // namespace ferrolan::launcher
