// The libcurl transport against a small HTTP server of the test's own on 127.0.0.1: a thread
// with a listening socket that answers every connection with one fixed response. The same
// server stands in for a proxy, since a proxy answers the same request with a full URL.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "archive/testdata/archive_test_util.h"
#include "net/download_pipelines.h"
#include "net/download_race.h"
#include "testing/environment.h"
#include "testing/files.h"
#include "testing/temp_folder.h"

namespace ferrolan::net {
namespace {

// A listening socket on a free port of 127.0.0.1; the port is stored in `port`.
int ListenOnLoopback(int& port) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(listener, 8) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    ADD_FAILURE() << "no listening socket";
  }
  port = ntohs(address.sin_port);
  return listener;
}

// Answers every connection with one fixed response. With `holdOpen`, a connection stays open
// after the response until the server ends, as a server that stalls after its headers does.
class FixedResponseServer {
 public:
  explicit FixedResponseServer(std::string response, bool holdOpen = false)
      : response_(std::move(response)), holdOpen_(holdOpen) {
    listener_ = ListenOnLoopback(port_);
    thread_ = std::thread([this] { Serve(); });
  }
  ~FixedResponseServer() {
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    thread_.join();
    for (int client : held_) close(client);
  }
  int port() const { return port_; }
  std::string FirstRequestLine() {
    std::lock_guard<std::mutex> hold(lock_);
    return firstRequestLine_;
  }

 private:
  void Serve() {
    for (int client; (client = accept(listener_, nullptr, nullptr)) >= 0;) {
      std::string request;
      char chunk[1024];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t got = recv(client, chunk, sizeof chunk, 0);
        if (got <= 0) break;
        request.append(chunk, static_cast<std::size_t>(got));
      }
      {
        std::lock_guard<std::mutex> hold(lock_);
        if (firstRequestLine_.empty()) firstRequestLine_ = request.substr(0, request.find("\r\n"));
      }
      for (std::size_t sent = 0; sent < response_.size();) {
        const ssize_t put =
            send(client, response_.data() + sent, response_.size() - sent, MSG_NOSIGNAL);
        if (put <= 0) break;
        sent += static_cast<std::size_t>(put);
      }
      if (holdOpen_) {
        held_.push_back(client);
      } else {
        close(client);
      }
    }
  }

  const std::string response_;
  const bool holdOpen_;
  std::vector<int> held_;  // used by the serving thread only, until it is joined
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::mutex lock_;
  std::string firstRequestLine_;
};

// Takes connections into its backlog and never answers them.
class SilentServer {
 public:
  SilentServer() { listener_ = ListenOnLoopback(port_); }
  ~SilentServer() { close(listener_); }
  int port() const { return port_; }

 private:
  int listener_ = -1;
  int port_ = 0;
};

std::string Response(const std::string& body, std::size_t announced) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(announced) +
         "\r\nConnection: close\r\n\r\n" + body;
}

class CurlAttemptTest : public ferrolan::testing::LoggedTempFolderTest {
 protected:
  void SetUp() override { ResetWorkingProxySettingsForTesting(); }
  void TearDown() override {
    SetDownloadOnlyStrategy(std::nullopt);
    JoinLingeringDownloadThreads();
    ResetWorkingProxySettingsForTesting();
    LoggedTempFolderTest::TearDown();
  }

  // Races with only `strategy` trying, and reads the buffer while the race runs.
  int Race(const std::string& url, const std::string& strategy, std::string& body,
           RaceEnvironment environment = SystemRaceEnvironment(),
           std::uint64_t maxBody = kNoBodyLimit) {
    SetDownloadOnlyStrategy(strategy);
    auto buffer = pipeline::RingBuffer_create(5, 4096);
    std::thread consumer([&] {
      char chunk[1000];
      for (int got; (got = pipeline::RingBuffer_read(*buffer, chunk, sizeof chunk)) > 0;) {
        body.append(chunk, static_cast<std::size_t>(got));
      }
    });
    const int result = RunDownloadRace(url, maxBody, buffer, environment);
    consumer.join();
    return result;
  }
};

TEST_F(CurlAttemptTest, StreamsABodyLargerThanTheBuffer) {
  std::string expected(100000, 'x');
  for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<char>('a' + i % 26);
  FixedResponseServer server(Response(expected, expected.size()));
  std::string body;
  const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/jre.lzma?time=1";
  ASSERT_EQ(Race(url, "Direct", body), 0);
  EXPECT_EQ(body, expected);
  EXPECT_EQ(server.FirstRequestLine(), "GET /jre.lzma?time=1 HTTP/1.1");
  EXPECT_TRUE(Logged("[HttpDownloader] lpszUrlPath = /jre.lzma?time=1"));
  EXPECT_TRUE(Logged("[HttpDownloader] [Direct] Required file size is 100000"));
  // The race ends with the first finished download; the others' threads may still be on their
  // way to the strategy check, so they are joined before their lines are looked for.
  JoinLingeringDownloadThreads();
  EXPECT_TRUE(Logged("[HttpDownloader] [Windows Proxy] Skipping for debug purposes."));
}

TEST_F(CurlAttemptTest, ExplicitProxyCarriesTheRequestAndIsRecorded) {
  FixedResponseServer proxy(Response("via proxy", 9));
  const std::string list = "127.0.0.1:" + std::to_string(proxy.port());
  RaceEnvironment environment = SystemRaceEnvironment();
  environment.detectProxyForUrl = [&](const std::string&) {
    return ProxySettings{list, "<local>"};
  };
  std::string body;
  ASSERT_EQ(Race("http://updates.invalid/v.txt", "State Proxy", body, environment), 0);
  EXPECT_EQ(body, "via proxy");
  EXPECT_EQ(proxy.FirstRequestLine(), "GET http://updates.invalid/v.txt HTTP/1.1");
  EXPECT_EQ(WorkingProxySettings(), (ProxySettings{list, "<local>"}));
}

TEST_F(CurlAttemptTest, TheEnvironmentsProxyIsDetectedTriedAndRecordedAlike) {
  FixedResponseServer proxy(Response("via proxy", 9));
  const std::string address = "127.0.0.1:" + std::to_string(proxy.port());
  ferrolan::testing::ScopedEnvironment env;
  for (const char* name : {"https_proxy", "all_proxy", "HTTPS_PROXY", "ALL_PROXY", "NO_PROXY"}) {
    env.Set(name, std::nullopt);
  }
  env.Set("http_proxy", address);
  env.Set("no_proxy", "localhost, .corp.example");
  const ProxySettings detected{address, "localhost;.corp.example"};

  // "State Proxy" tries what detection found in the environment...
  std::string body;
  ASSERT_EQ(Race("http://updates.invalid/v.txt", "State Proxy", body), 0);
  EXPECT_EQ(body, "via proxy");
  EXPECT_EQ(proxy.FirstRequestLine(), "GET http://updates.invalid/v.txt HTTP/1.1");
  EXPECT_EQ(WorkingProxySettings(), detected);

  // ...and "Windows Proxy", which leaves the proxy to libcurl, records the very same settings.
  ResetWorkingProxySettingsForTesting();
  body.clear();
  ASSERT_EQ(Race("http://updates.invalid/v.txt", "Windows Proxy", body), 0);
  EXPECT_EQ(body, "via proxy");
  EXPECT_EQ(WorkingProxySettings(), detected);
}

TEST_F(CurlAttemptTest, ShortBodyUnreachableServerAndOverlongPathFail) {
  FixedResponseServer server(Response("only ten b", 100));
  std::string body;
  EXPECT_EQ(Race("http://127.0.0.1:" + std::to_string(server.port()) + "/f", "Direct", body), -1);
  EXPECT_EQ(body, "only ten b");
  EXPECT_TRUE(Logged(
      "[HttpDownloader] [Direct] Warning: download complete but required length is still 90."));

  // Port 1 on the loopback refuses the connection.
  body.clear();
  EXPECT_EQ(Race("http://127.0.0.1:1/f", "Direct", body), -1);
  EXPECT_EQ(CountStartingWith("[HttpDownloader] HttpSendRequest failed with error"), 1);

  EXPECT_EQ(Race("http://127.0.0.1:1/" + std::string(1100, 'p'), "Direct", body), -1);
  EXPECT_EQ(CountStartingWith("[HttpDownloader] [Direct] Host name or URL path longer than 1023"),
            1);
}

TEST_F(CurlAttemptTest, BodiesPastTheLimitAreRefusedWhetherAnnouncedOrNot) {
  // An announced length above the limit is refused from the headers alone: this server sends
  // no body after them and keeps the connection open, so waiting for the body would take the
  // 30-second stall time-out.
  FixedResponseServer announced(
      "HTTP/1.1 200 OK\r\nContent-Length: 2147483648\r\nConnection: close\r\n\r\n", true);
  std::string body;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Race("http://127.0.0.1:" + std::to_string(announced.port()) + "/v", "Direct", body,
                 SystemRaceEnvironment(), 4096),
            -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(body, "");
  EXPECT_TRUE(
      ConsoleHas("[HttpDownloader] [Direct] Required file size 2147483648 is above the "
                 "limit of 4096 bytes, refusing the download"));

  // Without a length the body is cut off at the limit, and no byte past it is handed on.
  const std::string big(100000, 'b');
  FixedResponseServer unannounced("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + big);
  body.clear();
  EXPECT_EQ(Race("http://127.0.0.1:" + std::to_string(unannounced.port()) + "/v", "Direct", body,
                 SystemRaceEnvironment(), 4096),
            -1);
  EXPECT_LE(body.size(), 4096U);
  EXPECT_TRUE(ConsoleHas(
      "[HttpDownloader] [Direct] The body is longer than the limit of 4096 bytes, giving up"));
}

TEST_F(CurlAttemptTest, DownloadPipelinesWriteAFileAndExtractAnArchiveAsItArrives) {
  const std::string text = "version 00000000042";
  FixedResponseServer file(Response(text, text.size()));
  const std::string target = Path("version.txt");
  SetDownloadOnlyStrategy(std::string("Direct"));
  const std::string fileUrl = "http://127.0.0.1:" + std::to_string(file.port()) + "/v";
  EXPECT_EQ(DownloadToFile(fileUrl, target, kNoBodyLimit), 1);
  EXPECT_EQ(ferrolan::testing::ReadFile(target), text);
  EXPECT_EQ(DownloadToFile(fileUrl, Path("missing-folder/version.txt"), kNoBodyLimit), 0);

  const std::string archive = archive::testutil::CompressLzmaAlone(archive::testutil::BuildArchive(
      [](archive::ArchiveWriter& w) { w.AddFile("lib/rt.jar", std::string(200000, 'r')); },
      nullptr));
  FixedResponseServer server(Response(archive, archive.size()));
  const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/jre.p2.l2";
  std::filesystem::create_directories(Path("jre"));
  DownloadExtraction extraction = DownloadAndExtract(url, Path("jre"), kNoBodyLimit);
  EXPECT_TRUE(extraction.Succeeded());
  EXPECT_EQ(ferrolan::testing::ReadFile(Path("jre/lib/rt.jar")), std::string(200000, 'r'));

  // A body cut short: the download fails, and so does the whole.
  FixedResponseServer cut(Response(archive.substr(0, archive.size() / 2), archive.size()));
  std::filesystem::create_directories(Path("cut"));
  extraction = DownloadAndExtract("http://127.0.0.1:" + std::to_string(cut.port()) + "/jre.p2.l2",
                                  Path("cut"), kNoBodyLimit);
  EXPECT_FALSE(extraction.downloaded);
  EXPECT_FALSE(extraction.Succeeded());
}

TEST_F(CurlAttemptTest, LosersWaitingOnASilentServerGiveUpOnceTheRaceIsWon) {
  // The server itself never answers; only the proxy of the user's settings does. The other
  // strategies wait on the server, and must let go of their threads soon after the race is
  // won rather than sit out the receive time-out.
  SilentServer server;
  FixedResponseServer proxy(Response("via proxy", 9));
  RaceEnvironment environment = SystemRaceEnvironment();
  environment.detectProxyForUrl = [&](const std::string&) {
    return ProxySettings{"127.0.0.1:" + std::to_string(proxy.port()), std::nullopt};
  };
  environment.detectAutoProxy = [](const std::string&) { return std::optional<ProxySettings>(); };
  auto buffer = pipeline::RingBuffer_create(5, 4096);
  const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/v.txt";
  ASSERT_EQ(RunDownloadRace(url, kNoBodyLimit, buffer, environment), 0);
  const auto wonAt = std::chrono::steady_clock::now();
  JoinLingeringDownloadThreads();
  EXPECT_LT(std::chrono::steady_clock::now() - wonAt, std::chrono::seconds(10));
  EXPECT_TRUE(ConsoleHas("[HttpDownloader] [Direct] The race is over, giving up."));
}

}  // namespace
}  // namespace ferrolan::net
