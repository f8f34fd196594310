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
#include "pipeline/ring_buffer.h"
#include "pipeline/stages.h"

namespace ferrolan::launcher {
namespace {
int NotInThisBuild(const char* what) {
  std::printf("[TestMode] %s is not available in this build\n", what);
  std::fflush(stdout);
  return 0;
}

// The test reads this many bytes of "test.p2.l2", or up to the end of a shorter file.
constexpr long kExtractTestBytes = 63586021;
constexpr int kTransferBufferSize = 1048576;

// Where the extraction test writes. A bad signature empties the destination, so it is a folder
// of its own inside the temporary folder ("C:\TEMP" on Windows), never the shared folder
// itself, whose unrelated files would otherwise be deleted.
std::string ExtractTestFolder() {
  std::string folder = detail::ExtractTestRoot();
  fs::CreateFolder(folder);
  fs::PathJoin(folder, "FerrolanExtractTest");
  fs::CreateFolder(folder);
  return folder;
}
}  // namespace

int RunProxyTest(const char*) { return NotInThisBuild("The proxy test"); }

int RunExtractTest() {
  pipeline::OwnedFile file = pipeline::OpenFile("test.p2.l2", "rb");

  const std::string hex = archive::kExtractTestPublicKeyHex;
  std::vector<unsigned char> der(hex.size() / 2 + 2, 0);
  const int produced = archive::HexToBytes(der.data(), der.size(), hex);
  log::LogPrintf("[Extractor] Processed public key of length %d\n", produced);
  log::LogPrintf("[Extractor] Hex: %s\n", hex.c_str());
  archive::SetProcessPublicKey(
      archive::ImportPublicKey(der.data(), static_cast<std::size_t>(produced)));

  if (!file) {
    std::printf("Could not open test.p2.l2\n");
    std::fflush(stdout);
    return 0;
  }
  pipeline::FileReaderPipe reader = pipeline::StartFileReader(std::move(file));
  auto nestedInput =
      pipeline::RingBuffer_create(archive::kNestedInputBufferId, archive::kNestedInputCapacity);
  archive::NestedExtraction nested =
      archive::StartNestedExtraction(nestedInput, ExtractTestFolder());
  std::vector<char> transfer(kTransferBufferSize);
  for (long due = kExtractTestBytes; due > 0;) {
    const int want = static_cast<int>(std::min<long>(due, kTransferBufferSize));
    const int got = pipeline::RingBuffer_read(*reader.buffer, transfer.data(), want);
    if (got < 0) break;  // a shorter file ends the copy instead of a wait for bytes never sent
    if (pipeline::RingBuffer_write(*nestedInput, transfer.data(), got) < 0) break;
    due -= got;
  }
  pipeline::RingBuffer_close(*reader.buffer);
  // The copied bytes are all there is: ending the stream lets a cut archive end too.
  pipeline::RingBuffer_close(*nestedInput);
  nested.unarchiver.Join();
  return 0;
}

int RunDownloadTest2(const char*) { return NotInThisBuild("The download test"); }

int RunDownloadTest(const char*, const char*) { return NotInThisBuild("The download test"); }

void RunSplashTest() {
  NotInThisBuild("The splash test");
  log::EndProcess(1);
}

}  // namespace ferrolan::launcher
