#include "archive/signature.h"

#include <tomcrypt.h>

#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

#include "fs/file_ops.h"
#include "log/log.h"

namespace ferrolan::archive {

struct PublicKey::Impl {
  rsa_key key{};
  bool loaded = false;
  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() {
    if (loaded) rsa_free(&key);
  }
};

namespace {

constexpr int kSaltLength = 64;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The process-wide key, set by the main flow and read by unarchiver threads, under its lock.
std::mutex& KeyLock() {
  static std::mutex lock;
  return lock;
}
std::unique_ptr<PublicKey>& ProcessKey() {
  static std::unique_ptr<PublicKey> key;
  return key;
}

}  // namespace

int HexToBytes(unsigned char* output, std::size_t outputSize, std::string_view hexText) {
  std::size_t count = 0;
  std::size_t position = 0;
  while (position < hexText.size()) {
    const int high = HexValue(hexText[position]);
    if (high < 0) break;
    const int low = position + 1 < hexText.size() ? HexValue(hexText[position + 1]) : -1;
    // One lone digit counts on its own, as a two-digit scan would read it.
    const int value = low < 0 ? high : high * 16 + low;
    if (count + 1 >= outputSize) {
      // The byte and the closing NUL would not both fit: stop instead of overrunning.
      std::printf("[Utils] ERROR - HexToBytes is writing too far! %d %d\n",
                  static_cast<int>(count + 1), static_cast<int>(outputSize));
      break;
    }
    output[count++] = static_cast<unsigned char>(value);
    position += 2;
  }
  if (count < outputSize) output[count] = 0;
  return static_cast<int>(count);
}

PublicKey::PublicKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PublicKey::~PublicKey() = default;

std::unique_ptr<PublicKey> ImportPublicKey(const unsigned char* der, std::size_t length) {
  ltc_mp = ltm_desc;
  auto impl = std::make_unique<PublicKey::Impl>();
  if (der == nullptr ||
      rsa_import(der, static_cast<unsigned long>(length), &impl->key) != CRYPT_OK) {
    std::printf("ERROR - unable to import public key.\n");
    return nullptr;
  }
  impl->loaded = true;
  return std::unique_ptr<PublicKey>(new PublicKey(std::move(impl)));
}

void SetProcessPublicKey(std::unique_ptr<PublicKey> key) {
  std::lock_guard<std::mutex> guard(KeyLock());
  ProcessKey() = std::move(key);
}

const PublicKey* ProcessPublicKey() {
  std::lock_guard<std::mutex> guard(KeyLock());
  return ProcessKey().get();
}

bool CheckSignature(MixedHashState& hash, std::string_view signatureHex, const PublicKey* key,
                    const std::function<void(int)>& decoded) {
  unsigned char digest[kMixedDigestSize];
  if (MixedHash_done(&hash, digest) != CRYPT_OK) return false;
  std::vector<unsigned char> signature(signatureHex.size() / 2 + 2, 0);
  const int produced = HexToBytes(signature.data(), signature.size(), signatureHex);
  if (decoded) decoded(produced);
  if (key == nullptr || produced <= 0) return false;
  const int mixed = RegisterArchiveHashes();
  if (mixed < 0) return false;
  int valid = 0;
  const int result = rsa_verify_hash_ex(
      signature.data(), static_cast<unsigned long>(produced), digest, kMixedDigestSize,
      LTC_PKCS_1_PSS, mixed, kSaltLength, &valid, const_cast<rsa_key*>(&key->impl().key));
  if (result != CRYPT_OK) {
    std::printf("ERROR - signature verification failed.\n");
    return false;
  }
  return valid == 1;
}

bool VerifyArchiveSignature(MixedHashState& hash, std::string_view signatureHex,
                            const PublicKey* key) {
  log::LogPrintf("[Unarchiver] Verifying signature\n");
  const bool valid = CheckSignature(hash, signatureHex, key, [](int produced) {
    log::LogPrintf("[Unarchiver] Produced a signature of length %d\n", produced);
  });
  if (key == nullptr) {
    // A signed archive arriving while no key was imported cannot be checked; accepting it
    // would make the signature meaningless, so it is refused like a bad one.
    log::LogPrintf("[Unarchiver] ERROR - no public key to check the signature with.\n");
  }
  if (valid) log::LogPrintf("[Unarchiver] Archive signature verified.\n");
  return valid;
}

void RejectArchive(const std::function<void()>& removeExtracted) {
  static const char kStars[] =
      "***********************************************************************\n";
  log::LogPrintf("%s", kStars);
  log::LogPrintf("[Unarchiver] ERROR - unable to verify signature of hash of archive.\n");
  log::LogPrintf("[Unarchiver] Ferrolan will disregard this update.\n");
  if (removeExtracted) removeExtracted();
  log::LogPrintf("%s", kStars);
}

}  // namespace ferrolan::archive
