#include "launcher/test_modes.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/extract_test_key.h"
#include "archive/signature.h"
#include "archive/unarchiver.h"
#include "fs/path.h"
#include "launcher/test_modes_os.h"
#include "log/log.h"
#include "net/download_pipelines.h"
#include "net/proxy_detection.h"
#include "net/proxy_settings.h"
#include "os/os.h"
#include "pipeline/ring_buffer.h"
#include "pipeline/stages.h"
#include "splash/frame_renderer.h"
#include "splash/splash_control.h"

namespace ferrolan::launcher {
namespace {
// The test reads this many bytes of "test.p2.l2", or up to the end of a shorter file.
constexpr long kExtractTestBytes = 63586021;

// Where the extraction test writes. A bad signature empties the destination, so it is a folder
// of its own inside the temporary folder ("C:\TEMP" on Windows), never the shared folder
// itself, whose unrelated files would otherwise be deleted.
std::string TestFolder(const char* name) {
  std::string folder = detail::ExtractTestRoot();
  fs::CreateFolder(folder);
  fs::PathJoin(folder, name);
  fs::CreateFolder(folder);
  return folder;
}

std::string ExtractTestFolder() { return TestFolder("FerrolanExtractTest"); }

void PrintList(const char* label, const std::optional<std::string>& list, const char* empty) {
  if (list && !list->empty()) {
    std::printf("%s: %s\n", label, list->c_str());
  } else {
    std::printf("%s", empty);
  }
}
// The test modes that extract check archives with the public half of the test key pair, as a
// packaged launcher checks them with the key of its build.
void ImportTestKey() {
  const std::string hex = archive::kExtractTestPublicKeyHex;
  std::vector<unsigned char> der(hex.size() / 2 + 2, 0);
  const int produced = archive::HexToBytes(der.data(), der.size(), hex);
  log::LogPrintf("[Extractor] Processed public key of length %d\n", produced);
  log::LogPrintf("[Extractor] Hex: %s\n", hex.c_str());
  archive::SetProcessPublicKey(
      archive::ImportPublicKey(der.data(), static_cast<std::size_t>(produced)));
}
}  // namespace

ExitCode RunProxyTest(const char* url) {
  const net::ProxySettings settings = net::DetectProxyForUrl(url);
  PrintList("ProxyList", settings.proxyList, "Proxy list was empty!\n");
  PrintList("ProxyBypassList", settings.proxyBypassList, "Proxy bypass list was empty!\n");
  std::fflush(stdout);
  return ExitCode::kSuccess;
}

ExitCode RunExtractTest() {
  fs::OwnedFile file = fs::OpenFile("test.p2.l2", "rb");
  ImportTestKey();

  if (!file) {
    std::printf("Could not open test.p2.l2\n");
    std::fflush(stdout);
    return ExitCode::kSuccess;
  }
  pipeline::FileReaderPipe reader = pipeline::StartFileReader(std::move(file));
  archive::ArchiveJob job;
  job.destination = ExtractTestFolder();
  long due = kExtractTestBytes;
  const archive::ArchiveReport report = archive::ExtractCompressedArchive(
      [&](char* out, int capacity) {
        if (due <= 0) return -1;  // a shorter file ends at its end instead
        const int got = pipeline::RingBuffer_read(*reader.buffer, out,
                                                  static_cast<int>(std::min<long>(due, capacity)));
        if (got > 0) due -= got;
        return got;
      },
      job);
  pipeline::RingBuffer_close(*reader.buffer);
  return report.status == archive::ArchiveStatus::kOk ? ExitCode::kSuccess : ExitCode::kFailure;
}

ExitCode RunDownloadTest2(const char* url) {
  std::printf("[DEBUG] Downloading %s\n", url);
  std::fflush(stdout);
  ImportTestKey();
  const net::DownloadExtraction extraction =
      net::DownloadAndExtract(url, TestFolder("FerrolanDownloadTest"), net::kNoBodyLimit);
  std::printf(extraction.downloaded ? "[DEBUG] Download worked!\n" : "[DEBUG] Download FALED!\n");
  std::fflush(stdout);
  net::JoinLingeringDownloadThreads();
  // As in the extraction test, an archive that is refused fails the run.
  return extraction.archive.status == archive::ArchiveStatus::kOk ? ExitCode::kSuccess
                                                                  : ExitCode::kFailure;
}

ExitCode RunDownloadTest(const char* url, const char* onlyStrategy) {
  if (onlyStrategy != nullptr) net::SetDownloadOnlyStrategy(std::string(onlyStrategy));
  // Any file may be fetched here; the disk's reserve still bounds it.
  net::DownloadToFile(url, "deleteme.tmp", net::kNoBodyLimit);
  const std::optional<net::ProxySettings> working = net::WorkingProxySettings();
  if (!working) {
    std::printf("Working proxy list is NULL\n");
  } else {
    PrintList("ProxyList", working->proxyList, "Proxy list was empty!\n");
    PrintList("ProxyBypassList", working->proxyBypassList, "Proxy bypass list was empty!\n");
  }
  std::fflush(stdout);
  net::JoinLingeringDownloadThreads();
  return ExitCode::kSuccess;
}

ExitCode RunSplashTest() {
  // Each step is announced before it runs, so a hang shows where it happened.
  const auto say = [](const char* message) {
    std::printf("%s", message);
    std::fflush(stdout);
  };
  say("[TestSplash] Initialising splash\n");
  if (splash::IsWindowsXpOrLater()) splash::StartImaging();
  say("[TestSplash] Configure splash to use qv_logo.png\n");
  splash::SplashConfigure("qv_logo.png");
  say("[TestSplash] Show\n");
  splash::SplashShow();
  say("[TestSplash] SetProgress -1\n");
  splash::SplashSetProgress(splash::kIndeterminate);
  say("[TestSplash] Sleep\n");
  os::SleepMs(1000);
  for (int percent = 0; percent < 100; percent += 10) {
    std::printf("[TestSplash] SetProgress %d\n", percent);
    std::fflush(stdout);
    splash::SplashSetProgress(percent);
    say("[TestSplash] Sleep\n");
    os::SleepMs(1000);
  }
  say("[TestSplash] SetProgress 100\n");
  splash::SplashSetProgress(100);
  // The run ends here, window and all: the splash's exit handler takes it down.
  return ExitCode::kFailure;
}

}  // namespace ferrolan::launcher
