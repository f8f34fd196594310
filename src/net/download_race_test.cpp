// The race over scripted transports: which attempt wins, what the losers do, and how the race
// ends when the owner of the download fails. The losers are held back on purpose so that they
// run after the race has returned; the sanitizer builds check that they never touch a released
// record.
#include "net/download_race.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <map>

#include "net/fake_transport.h"
#include "testing/temp_folder.h"

namespace ferrolan::net {
namespace {

std::string Drain(pipeline::RingBuffer& buffer) {
  std::string text;
  char chunk[64];
  for (int got; (got = pipeline::RingBuffer_read(buffer, chunk, sizeof chunk)) > 0;) {
    text.append(chunk, static_cast<std::size_t>(got));
  }
  return text;
}

class DownloadRaceTest : public ferrolan::testing::LoggedTempFolderTest {
 protected:
  void SetUp() override {
    ResetWorkingProxySettingsForTesting();
    for (const char* name : {"Direct", "State Proxy", "WPAD", "Windows Proxy", "Proxy Non Auto"}) {
      scripts_[name] = Script{};
    }
    environment_.transport = [this](const std::string& name) {
      return std::make_unique<FakeTransport>(scripts_.at(name));
    };
    environment_.detectProxyForUrl = [this](const std::string&) { return stateProxy_; };
    environment_.detectAutoProxy = [this](const std::string&) { return wpad_; };
    environment_.progress = [this](int percent) {
      std::lock_guard<std::mutex> hold(progressLock_);
      progress_.push_back(percent);
    };
  }
  void TearDown() override {
    JoinLingeringDownloadThreads();
    ResetWorkingProxySettingsForTesting();
    LoggedTempFolderTest::TearDown();
  }

  // Starts a race on its own thread; the test reads the buffer meanwhile.
  std::future<int> StartRace() {
    return std::async(std::launch::async, [this] {
      return RunDownloadRace("http://updates.example/jre.lzma", maxBody_, buffer_, environment_);
    });
  }

  std::map<std::string, Script> scripts_;
  ProxySettings stateProxy_;
  std::optional<ProxySettings> wpad_;
  RaceEnvironment environment_;
  std::uint64_t maxBody_ = kNoBodyLimit;
  std::shared_ptr<pipeline::RingBuffer> buffer_ = pipeline::RingBuffer_create(7, 16);
  std::mutex progressLock_;
  std::vector<int> progress_;
};

TEST_F(DownloadRaceTest, FirstDataWinsAndLosersStopAtTheirFirstBytes) {
  // "Direct" gets its response only after the race is over, so it loses although it started
  // first; it must then quit at its first bytes without writing.
  auto directMayGo = std::make_shared<ManualResetEvent>();
  auto directFinished = std::make_shared<ManualResetEvent>();
  scripts_["Direct"] = Delivers({"direct body"});
  scripts_["Direct"].beforeResponse = directMayGo;
  scripts_["Direct"].finished = directFinished;
  scripts_["Windows Proxy"] = Delivers({"0123", "4567"});

  std::future<int> race = StartRace();
  EXPECT_EQ(Drain(*buffer_), "01234567");
  EXPECT_EQ(race.get(), 0);
  directMayGo->Set();
  directFinished->Wait();
  JoinLingeringDownloadThreads();

  EXPECT_TRUE(
      Logged("[HttpDownloader] [Windows Proxy] Opened file. Set downloadWorked to TRUE (1)"));
  EXPECT_TRUE(Logged("[HttpDownloader] [Direct] Thread returning as another has worked"));
  EXPECT_EQ(CountStartingWith("[HttpDownloader] [Direct] Opened file."), 0);
  // "State Proxy" and "WPAD" had nothing to try.
  EXPECT_EQ(CountStartingWith("[HttpDownloader] [State Proxy] Starting download attempt"), 0);
  EXPECT_TRUE(Logged("[HttpDownloader] [WPAD] Detecting WPAD proxy configuration"));
  EXPECT_TRUE(Logged("[HttpDownloader] Direct connection (no proxy) found."));
  EXPECT_TRUE(Logged("[HttpDownloader] Download Tasks Complete! (success=1)"));
  // Nothing was saved by the winner, so the (empty) state proxy becomes the working setting.
  EXPECT_EQ(WorkingProxySettings(), ProxySettings{});
  // Only the owner moves the progress, which ends at 100.
  std::lock_guard<std::mutex> hold(progressLock_);
  EXPECT_NE(std::find(progress_.begin(), progress_.end(), 50), progress_.end());
  EXPECT_EQ(progress_.back(), 100);
}

TEST_F(DownloadRaceTest, ExplicitSettingsThatWorkAreKeptForTheProcess) {
  stateProxy_ = ProxySettings{"proxy:3128", std::nullopt};
  scripts_["State Proxy"] = Delivers({"body"});
  EXPECT_EQ(RunDownloadRace("http://u/", maxBody_, buffer_, environment_), 0);
  EXPECT_TRUE(
      Logged("[HttpDownloader] [State Proxy] Downloading with proxy settings (proxy:3128, -)"));
  EXPECT_TRUE(Logged("[HttpDownloader] [State Proxy] Copying proxy settings."));
  EXPECT_EQ(WorkingProxySettings(), stateProxy_);
  // The first race's losing threads may still read the settings changed below.
  JoinLingeringDownloadThreads();

  // A later race that wins through WPAD leaves the first race's setting alone.
  scripts_["State Proxy"] = Script{};
  scripts_["WPAD"] = Delivers({"body"});
  wpad_ = ProxySettings{"wpad:8080", "<local>"};
  buffer_ = pipeline::RingBuffer_create(8, 16);
  EXPECT_EQ(RunDownloadRace("http://u/", maxBody_, buffer_, environment_), 0);
  EXPECT_TRUE(Logged("[HttpDownloader] [WPAD] Using override proxy settings."));
  EXPECT_EQ(WorkingProxySettings(), stateProxy_);
}

TEST_F(DownloadRaceTest, AllFailingEndsWithFailureAndAClosedBuffer) {
  EXPECT_EQ(RunDownloadRace("http://u/", maxBody_, buffer_, environment_), -1);
  EXPECT_TRUE(buffer_->Closed());
  int ends = 0;
  for (const std::string& line : Lines()) {
    if (line.find("--- End --- (worked=0,threads=") != std::string::npos) ++ends;
  }
  EXPECT_EQ(ends, 5);
  const std::vector<std::string> lines = Lines();
  const auto last = std::find_if(lines.rbegin(), lines.rend(), [](const std::string& line) {
    return line.find("--- End ---") != std::string::npos;
  });
  ASSERT_NE(last, lines.rend());
  EXPECT_NE(last->find("(worked=0,threads=0)"), std::string::npos);
  EXPECT_TRUE(Logged("[HttpDownloader] Download Tasks Complete! (success=0)"));
  EXPECT_TRUE(Logged("[HttpDownloader] Downloads failed. Closing buffer."));
}

TEST_F(DownloadRaceTest, EmptyBodyNeverEndsARaceThatAnotherAttemptOwns) {
  auto ownerMayFinish = std::make_shared<ManualResetEvent>();
  auto emptyMayGo = std::make_shared<ManualResetEvent>();
  auto emptyFinished = std::make_shared<ManualResetEvent>();
  scripts_["Direct"] = Delivers({"abcd", "efgh"});
  scripts_["Direct"].afterFirstChunk = ownerMayFinish;
  scripts_["Proxy Non Auto"] = Delivers({});
  scripts_["Proxy Non Auto"].beforeResponse = emptyMayGo;
  scripts_["Proxy Non Auto"].finished = emptyFinished;

  std::future<int> race = StartRace();
  char first[4];
  ASSERT_EQ(pipeline::RingBuffer_read(*buffer_, first, sizeof first), 4);  // "Direct" owns it
  emptyMayGo->Set();
  emptyFinished->Wait();
  EXPECT_FALSE(buffer_->Closed());
  EXPECT_EQ(race.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);

  ownerMayFinish->Set();
  EXPECT_EQ(Drain(*buffer_), "efgh");
  EXPECT_EQ(race.get(), 0);
  EXPECT_TRUE(Logged("[HttpDownloader] [Proxy Non Auto] Thread returning as another has worked"));
}

TEST_F(DownloadRaceTest, AnEmptyBodyAloneIsACompleteDownload) {
  scripts_["Direct"] = Delivers({});
  EXPECT_EQ(RunDownloadRace("http://u/", maxBody_, buffer_, environment_), 0);
  EXPECT_TRUE(buffer_->Closed());
}

TEST_F(DownloadRaceTest, OwnerFailingMidBodyClosesTheBufferAndFailsTheRace) {
  // A read that fails, and a body shorter than announced.
  for (bool readFails : {true, false}) {
    SCOPED_TRACE(readFails);
    buffer_ = pipeline::RingBuffer_create(9, 16);
    scripts_["Direct"] = Delivers({"abcd"});
    scripts_["Direct"].length = 10;
    scripts_["Direct"].failsAfterChunks = readFails;
    std::future<int> race = StartRace();
    EXPECT_EQ(Drain(*buffer_), "abcd");  // ends instead of waiting for the missing bytes
    EXPECT_EQ(race.get(), -1);
    JoinLingeringDownloadThreads();
  }
  EXPECT_TRUE(Logged(
      "[HttpDownloader] [Direct] Warning: download complete but required length is still 6."));
  EXPECT_EQ(CountStartingWith("[HttpDownloader] [Direct] Download failed after it had started."),
            2);
}

TEST_F(DownloadRaceTest, NoBytePastTheLimitReachesTheConsumer) {
  maxBody_ = 8;
  // Announced above the limit: refused before a byte is read, by every attempt that gets it.
  scripts_["Direct"] = Delivers({"0123456789"});
  scripts_["Windows Proxy"] = Delivers({"0123456789"});
  EXPECT_EQ(RunDownloadRace("http://u/", maxBody_, buffer_, environment_), -1);
  EXPECT_EQ(Drain(*buffer_), "");
  EXPECT_EQ(CountStartingWith("[HttpDownloader] [Direct] Required file size 10 is above the "
                              "limit of 8 bytes, refusing the download"),
            1);
  JoinLingeringDownloadThreads();

  // No length, or a server that sends more than it announced: the owner stops at the limit
  // and fails the race; what it wrote stays within the limit.
  for (std::optional<std::int64_t> announced : {std::optional<std::int64_t>(), {std::int64_t{4}}}) {
    SCOPED_TRACE(announced.value_or(-1));
    buffer_ = pipeline::RingBuffer_create(9, 16);
    scripts_["Windows Proxy"] = Script{};
    scripts_["Direct"] = Delivers({"0123", "4567", "8"});
    scripts_["Direct"].length = announced;
    std::future<int> race = StartRace();
    EXPECT_EQ(Drain(*buffer_), "01234567");
    EXPECT_EQ(race.get(), -1);
    JoinLingeringDownloadThreads();
  }
  EXPECT_EQ(CountStartingWith("[HttpDownloader] [Direct] The body is longer than the limit of 8 "
                              "bytes, giving up the download"),
            2);

  // A body of exactly the limit is a download.
  buffer_ = pipeline::RingBuffer_create(9, 16);
  scripts_["Direct"] = Delivers({"0123", "4567"});
  std::future<int> race = StartRace();
  EXPECT_EQ(Drain(*buffer_), "01234567");
  EXPECT_EQ(race.get(), 0);
}

TEST_F(DownloadRaceTest, AnOwnerWhoseReaderStopsTakingDataGivesUp) {
  // A body without end behind a consumer that has what it wants (an archive's end): the owner
  // must stop instead of reading the rest into a closed buffer for ever.
  scripts_["Direct"] = Delivers(std::vector<std::string>(100000, std::string(16, 'x')));
  scripts_["Direct"].length.reset();
  std::future<int> race = StartRace();
  char first[16];
  ASSERT_EQ(pipeline::RingBuffer_read(*buffer_, first, sizeof first), 16);
  pipeline::RingBuffer_close(*buffer_);
  EXPECT_EQ(race.get(), -1);
  EXPECT_TRUE(
      Logged("[HttpDownloader] [Direct] The download's reader takes no more data, giving up"));
}

}  // namespace
}  // namespace ferrolan::net
