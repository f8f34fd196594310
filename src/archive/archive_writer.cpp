#include "archive/archive_writer.h"

#include <tomcrypt.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <mutex>

#include "archive/signature.h"

namespace ferrolan::archive {

struct SigningKey::Impl {
  rsa_key key{};
  bool loaded = false;
  ~Impl() {
    if (loaded) rsa_free(&key);
  }
};

namespace {

constexpr int kSaltLength = 64;
constexpr std::int64_t kMaxLength = std::numeric_limits<std::int32_t>::max();

// libtomcrypt's math provider and the system random source, set up once.
int PrepareCrypto() {
  static std::once_flag once;
  static int prng = -1;
  std::call_once(once, [] {
    ltc_mp = ltm_desc;
    prng = register_prng(&sprng_desc);
  });
  return prng;
}

std::vector<unsigned char> Export(const rsa_key& key, int type) {
  std::vector<unsigned char> out(4096);
  for (int attempt = 0; attempt < 4; ++attempt) {
    unsigned long length = static_cast<unsigned long>(out.size());
    const int result = rsa_export(out.data(), &length, type, const_cast<rsa_key*>(&key));
    if (result == CRYPT_OK) {
      out.resize(length);
      return out;
    }
    if (result != CRYPT_BUFFER_OVERFLOW) break;
    out.resize(out.size() * 4);
  }
  return {};
}

}  // namespace

std::string BytesToHex(const unsigned char* bytes, std::size_t length) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(length * 2);
  for (std::size_t i = 0; i < length; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

std::string EncodeEntryHeader(EntryType type, std::string_view path, std::int64_t length) {
  std::string header = std::to_string(static_cast<int>(type));
  header.push_back('\0');
  header.append(path);
  header.push_back('\0');
  if (type != EntryType::kFolder) {
    header.append(std::to_string(length));
    header.push_back('\0');
  }
  return header;
}

// ---------------------------------------------------------------------------------------------
// SigningKey

SigningKey::SigningKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SigningKey::~SigningKey() = default;

std::unique_ptr<SigningKey> SigningKey::Generate(int bits) {
  const int prng = PrepareCrypto();
  auto impl = std::make_unique<Impl>();
  const int result =
      prng < 0 ? CRYPT_INVALID_PRNG : rsa_make_key(nullptr, prng, bits / 8, 65537, &impl->key);
  if (result != CRYPT_OK) {
    std::fprintf(stderr, "RSA key generation failed: %s\n", error_to_string(result));
    return nullptr;
  }
  impl->loaded = true;
  return std::unique_ptr<SigningKey>(new SigningKey(std::move(impl)));
}

std::unique_ptr<SigningKey> SigningKey::FromPrivateDer(const unsigned char* der,
                                                       std::size_t length) {
  PrepareCrypto();
  auto impl = std::make_unique<Impl>();
  if (der == nullptr ||
      rsa_import(der, static_cast<unsigned long>(length), &impl->key) != CRYPT_OK) {
    return nullptr;
  }
  impl->loaded = true;
  if (impl->key.type != PK_PRIVATE) return nullptr;
  return std::unique_ptr<SigningKey>(new SigningKey(std::move(impl)));
}

std::unique_ptr<SigningKey> SigningKey::FromPrivateHex(std::string_view hex) {
  std::vector<unsigned char> der(hex.size() / 2 + 2, 0);
  const int produced = HexToBytes(der.data(), der.size(), hex);
  if (produced <= 0 || static_cast<std::size_t>(produced) * 2 != hex.size()) return nullptr;
  return FromPrivateDer(der.data(), static_cast<std::size_t>(produced));
}

int SigningKey::Bits() const { return ltc_mp.count_bits(impl_->key.N); }

std::vector<unsigned char> SigningKey::PrivateDer() const { return Export(impl_->key, PK_PRIVATE); }

std::string SigningKey::PrivateHex() const {
  const std::vector<unsigned char> der = PrivateDer();
  return BytesToHex(der.data(), der.size());
}

std::vector<unsigned char> SigningKey::PublicDer() const {
  return Export(impl_->key, PK_PUBLIC | PK_STD);
}

std::string SigningKey::PublicHex() const {
  const std::vector<unsigned char> der = PublicDer();
  return BytesToHex(der.data(), der.size());
}

std::vector<unsigned char> SigningKey::SignDigest(
    const unsigned char (&digest)[kMixedDigestSize]) const {
  const int prng = PrepareCrypto();
  const int mixed = RegisterArchiveHashes();
  if (prng < 0 || mixed < 0) return {};
  std::vector<unsigned char> signature(static_cast<std::size_t>(Bits() + 7) / 8 + 16);
  unsigned long length = static_cast<unsigned long>(signature.size());
  const int result =
      rsa_sign_hash_ex(digest, kMixedDigestSize, signature.data(), &length, LTC_PKCS_1_PSS, nullptr,
                       prng, mixed, kSaltLength, const_cast<rsa_key*>(&impl_->key));
  if (result != CRYPT_OK) {
    std::fprintf(stderr, "RSA signing failed: %s\n", error_to_string(result));
    return {};
  }
  signature.resize(length);
  return signature;
}

// ---------------------------------------------------------------------------------------------
// ArchiveWriter

ArchiveWriter::ArchiveWriter(Sink sink) : sink_(std::move(sink)) { MixedHash_init(&hash_); }

ArchiveWriter::~ArchiveWriter() = default;

bool ArchiveWriter::Emit(const void* data, std::size_t length) {
  if (failed_) return false;
  if (length == 0) return true;
  if (!sink_(data, length)) {
    failed_ = true;
    return false;
  }
  MixedHash_process(&hash_, static_cast<const unsigned char*>(data),
                    static_cast<unsigned long>(length));
  written_ += length;
  return true;
}

bool ArchiveWriter::CloseContent() {
  if (contentDue_ != 0) failed_ = true;  // the previous file got fewer bytes than announced
  return !failed_;
}

bool ArchiveWriter::AddFolder(std::string_view path) {
  if (finished_ || !CloseContent() || !IsSafeEntryPath(path)) return failed_ = true, false;
  const std::string header = EncodeEntryHeader(EntryType::kFolder, path, 0);
  return Emit(header.data(), header.size());
}

bool ArchiveWriter::AddFile(std::string_view path, std::string_view content, EntryType type) {
  return BeginFile(path, static_cast<std::int64_t>(content.size()), type) &&
         AppendContent(content.data(), content.size());
}

bool ArchiveWriter::BeginFile(std::string_view path, std::int64_t length, EntryType type) {
  if (finished_ || !CloseContent() || type == EntryType::kFolder || length < 0 ||
      length > kMaxLength || !IsSafeEntryPath(path)) {
    return failed_ = true, false;
  }
  const std::string header = EncodeEntryHeader(type, path, length);
  contentDue_ = length;
  return Emit(header.data(), header.size());
}

bool ArchiveWriter::AppendContent(const void* data, std::size_t length) {
  if (finished_ || static_cast<std::int64_t>(length) > contentDue_) return failed_ = true, false;
  contentDue_ -= static_cast<std::int64_t>(length);
  return Emit(data, length);
}

bool ArchiveWriter::AddFileFromDisk(std::string_view path, const std::string& sourceFile,
                                    EntryType type) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(sourceFile, error);
  if (error) return failed_ = true, false;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(sourceFile.c_str(), "rb"),
                                                       &std::fclose);
  if (!file || !BeginFile(path, static_cast<std::int64_t>(size), type)) {
    return failed_ = true, false;
  }
  std::vector<char> chunk(1 << 20);
  std::uintmax_t left = size;
  while (left > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uintmax_t>(left, chunk.size()));
    const std::size_t got = std::fread(chunk.data(), 1, want, file.get());
    if (got == 0 || !AppendContent(chunk.data(), got)) return failed_ = true, false;
    left -= got;
  }
  return true;
}

bool ArchiveWriter::AddFolderTree(const std::string& folder, std::string_view prefix,
                                  const std::function<void(std::uint64_t)>& progress) {
  namespace stdfs = std::filesystem;
  std::error_code error;
  std::vector<stdfs::directory_entry> entries;
  for (stdfs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    entries.push_back(*it);
  }
  if (error) return failed_ = true, false;
  // A stable order that does not depend on the file system: by the bytes of the names.
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return a.path().filename().string() < b.path().filename().string();
  });
  for (const stdfs::directory_entry& entry : entries) {
    std::string name(prefix);
    if (!name.empty()) name.push_back('/');
    name += entry.path().filename().string();
    if (entry.is_directory(error)) {
      if (!AddFolder(name) || !AddFolderTree(entry.path().string(), name, progress)) return false;
    } else if (entry.is_regular_file(error)) {
      if (!AddFileFromDisk(name, entry.path().string())) return false;
      if (progress) progress(entry.file_size(error));
    }
    // Anything else (a dangling link, a device) has no place in an archive and is left out.
  }
  return !failed_;
}

std::array<unsigned char, kMixedDigestSize> ArchiveWriter::DigestSoFar() const {
  MixedHashState copy = hash_;
  std::array<unsigned char, kMixedDigestSize> digest{};
  MixedHash_done(&copy, digest.data());
  return digest;
}

bool ArchiveWriter::Finish(const SigningKey* key) {
  if (finished_ || !CloseContent()) return failed_ = true, false;
  finished_ = true;
  if (key == nullptr) return true;
  // The reader keeps the covered length in a signed 32-bit field.
  if (written_ > static_cast<std::uint64_t>(kMaxLength)) return failed_ = true, false;
  unsigned char digest[kMixedDigestSize];
  MixedHash_done(&hash_, digest);
  const std::vector<unsigned char> signature = key->SignDigest(digest);
  if (signature.empty()) return failed_ = true, false;

  std::string body = std::to_string(written_);
  body.push_back('\0');
  body += BytesToHex(signature.data(), signature.size());
  body.push_back('\0');
  std::string block = EncodeEntryHeader(
      EntryType::kFile, std::string(kSpecialBlockPrefix) + std::string(kSignatureBlockName),
      static_cast<std::int64_t>(body.size()));
  block += body;
  // The block itself is not covered by the signature: hand it to the sink without hashing.
  if (!sink_(block.data(), block.size())) return failed_ = true, false;
  written_ += block.size();
  return true;
}

}  // namespace ferrolan::archive
