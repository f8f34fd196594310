// The Unarchiver on a signed archive: the harness signs the fuzzed entry stream with the test
// key pair's private half and appends the signature block, as the packager does, so the
// signature check passes and the steps after it (unpacking packed entries, accepting nested
// archives, the report) are reached with any content. The same public half is the key the
// check uses.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "archive/entry_format.h"
#include "archive/mixed_hash.h"
#include "archive/signature.h"
#include "archive/testdata/test_signing_key.h"
#include "archive/unarchiver.h"
#include "fs/path.h"
#include "fuzz/fuzz_support.h"

namespace {

using namespace ferrolan::archive;

struct Keys {
  std::unique_ptr<SigningKey> signing = SigningKey::FromPrivateHex(testdata::kTestPrivateKeyHex);
  std::unique_ptr<PublicKey> verifying;
  Keys() {
    std::vector<unsigned char> der = signing->PublicDer();
    verifying = ImportPublicKey(der.data(), der.size());
  }
};

// The signature block the packager appends after an archive's last entry.
std::string SignatureBlock(const SigningKey& key, const std::uint8_t* data, std::size_t size) {
  MixedHashState hash;
  MixedHash_init(&hash);
  MixedHash_process(&hash, data, static_cast<unsigned long>(size));
  unsigned char digest[kMixedDigestSize];
  MixedHash_done(&hash, digest);
  std::vector<unsigned char> signature = key.SignDigest(digest);
  std::string body = std::to_string(size);
  body.push_back('\0');
  body += BytesToHex(signature.data(), signature.size());
  body.push_back('\0');
  return EncodeEntryHeader(EntryType::kFile,
                           std::string(kSpecialBlockPrefix) + std::string(kSignatureBlockName),
                           static_cast<std::int64_t>(body.size())) +
         body;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ferrolan::fuzz::QuietLog();
  static const Keys keys;
  static const ferrolan::fuzz::Scratch scratch("unarchiver-signed");
  std::string archive(reinterpret_cast<const char*>(data), size);
  archive += SignatureBlock(*keys.signing, data, size);
  ArchiveJob job(scratch.Path("dest"));
  ferrolan::fs::CreateFolder(job.destination);
  job.key = keys.verifying.get();
  auto input = ferrolan::fuzz::ClosedBuffer(archive);
  ExtractArchive(*input, job);
  for (const auto& item : std::filesystem::directory_iterator(scratch.Path())) {
    if (item.path().filename() != "dest") __builtin_trap();
  }
  scratch.Reset();
  return 0;
}
