#include "launcher/test_modes.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "archive/signature.h"
#include "archive/unarchiver.h"
#include "fs/path.h"
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

// The extraction test's built-in verification key: the public half of the project's test key
// pair (DER SubjectPublicKeyInfo, RSA 4096 bits). Its private half signs test archives only.
constexpr char kExtractTestPublicKeyHex[] =
    "30820222300D06092A864886F70D01010105000382020F003082020A02820201009AED15A22C1EB1331B7F87"
    "36CF38C4E58BE5A167084BF3DBD6DD4D0D1FB9C33706B57127C72656201A39B6A5FDC20EB8A4FB050B84805C"
    "802D4F814B4B7559439FDEEAE6F997EDB7F3A479FE960D35C5A34C624BA18E0209B8E9BAE66008C7FA748EEE"
    "9F65BEDDA401BB4911F5C6311B6B9BEB629AF49A7726143F4DF2FA9B0FD292A4D26E36B36C45EB93A749094C"
    "45E70696F8C07F3957A2AA8AE589446BA104F041A72B77FEC5998A5C1BA2DEE09BD849C87B29308915755FE6"
    "72956F0BD8B866D3FB1CD8D7EC7353EF5E31262F766A2D9F1B9ECEF5EFCF5F7168375230133C1561EAAA4E3B"
    "6E51EA8068139F90FDEF9F5E24F26941D4EFAEA589068D054C27B959CFE7EC77CC5CE9AE1C4067E2272BB1DA"
    "9D81146EBF614FD643E78BD33211092BC9EBF8CA245946D9977E136F7C12E843BD0FFEE9D2BDB6BBAC9B9F66"
    "114010669DD836CCD8AF2DB3682C8D8AEFF32FA14FAFC80E402AF44F13A63FD757230028FC75773285FF7B52"
    "E786389FB0D7627CD395EF96133647C5935D8FB7AFA980D739ED96E1D659EFB362A07800106B10EEADAE2966"
    "496F11F0C0D168CB7588E92241B29A2DDC482897A49E9B69B4AB583D68AA3469B6D5AB23D2D4303C93AD0423"
    "2FACECC8B0860575EADA9FD9BE6CC4746903D659E6F80CF77B45E13860288FCC668ECBEBC506B9CF65EE1E69"
    "DE485A6757AFEEDE1B50877C040AF15A710203010001";

// The test reads this many bytes of "test.p2.l2", or up to the end of a shorter file.
constexpr long kExtractTestBytes = 63586021;
constexpr int kTransferBufferSize = 1048576;

// Where the extraction test writes. A bad signature empties the destination, so it is a folder
// of its own inside the temporary folder ("C:\TEMP" on Windows), never the shared folder
// itself, whose unrelated files would otherwise be deleted.
std::string ExtractTestFolder() {
  std::string folder;
  if (fs::PathSeparator() == '\\') {
    folder = "C:\\TEMP";
  } else {
    std::error_code error;
    folder = std::filesystem::temp_directory_path(error).string();
    if (error || folder.empty()) folder = "/tmp";
  }
  fs::CreateFolder(folder);
  fs::PathJoin(folder, "FerrolanExtractTest");
  fs::CreateFolder(folder);
  return folder;
}
}  // namespace

int RunProxyTest(const char*) { return NotInThisBuild("The proxy test"); }

int RunExtractTest() {
  pipeline::OwnedFile file = pipeline::OpenFile("test.p2.l2", "rb");

  const std::string hex = kExtractTestPublicKeyHex;
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
