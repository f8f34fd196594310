#include "pack/archive/archive_cache.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "fs/owned_file.h"
#include "pack/archive/archive_cache_os.h"
#include "pack/support/file_remover.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;

// Part of every key: a change to how archives are encoded (container, block size, encoder
// settings) changes this text, so archives of an older packager are never taken.
constexpr std::string_view kKeyVersion = "ferrolan-pack archive cache 1";
constexpr const char* kSuffix = ".archive";
// The trailer: the archive's mixed digest, its length as 8 little-endian bytes, and this magic.
constexpr char kTrailerMagic[8] = {'F', 'L', 'P', 'C', 'A', 'C', 'H', '1'};
constexpr std::size_t kTrailerSize = archive::kMixedDigestSize + 8 + sizeof(kTrailerMagic);
constexpr std::size_t kChunk = 1 << 20;
// Temporary files older than this are left by a run that was killed, and are removed.
constexpr auto kStaleTemporary = std::chrono::hours(24);

using Digest = std::array<unsigned char, archive::kMixedDigestSize>;

class Hasher {
 public:
  Hasher() { archive::MixedHash_init(&state_); }
  void Add(const void* bytes, std::size_t length) {
    archive::MixedHash_process(&state_, static_cast<const unsigned char*>(bytes),
                               static_cast<unsigned long>(length));
  }
  Digest Done() {
    Digest digest{};
    archive::MixedHash_done(&state_, digest.data());
    return digest;
  }

 private:
  archive::MixedHashState state_{};
};

void Note(const std::string& text) {
  std::fprintf(stderr, "ferrolan-pack: note: %s\n", text.c_str());
}

enum class Copy { kDone, kShortRead, kWriteFailed };

// Copies `length` bytes of `in` to `out` and gives their mixed digest.
Copy CopyHashing(std::FILE* in, std::FILE* out, std::uint64_t length, Digest* digest) {
  std::vector<unsigned char> buffer(kChunk);
  Hasher hasher;
  while (length > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(length, kChunk));
    if (std::fread(buffer.data(), 1, want, in) != want) return Copy::kShortRead;
    hasher.Add(buffer.data(), want);
    if (std::fwrite(buffer.data(), 1, want, out) != want) return Copy::kWriteFailed;
    length -= want;
  }
  *digest = hasher.Done();
  return Copy::kDone;
}

std::string Trailer(const Digest& digest, std::uint64_t length) {
  std::string trailer(reinterpret_cast<const char*>(digest.data()), digest.size());
  for (int i = 0; i < 8; ++i) trailer.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
  trailer.append(kTrailerMagic, sizeof(kTrailerMagic));
  return trailer;
}

struct ParsedTrailer {
  Digest digest{};
  std::uint64_t length = 0;
};

// The trailer of a cache file of `fileSize` bytes, when it has one that fits.
std::optional<ParsedTrailer> ReadTrailer(std::FILE* file, std::uint64_t fileSize) {
  // An archive stays below 2 GiB; anything larger is not a file of this cache.
  if (fileSize < kTrailerSize || fileSize > 0x7FFFFFFF) return std::nullopt;
  unsigned char bytes[kTrailerSize];
  if (std::fseek(file, static_cast<long>(fileSize - kTrailerSize), SEEK_SET) != 0 ||
      std::fread(bytes, 1, kTrailerSize, file) != kTrailerSize ||
      std::memcmp(bytes + kTrailerSize - sizeof(kTrailerMagic), kTrailerMagic,
                  sizeof(kTrailerMagic)) != 0) {
    return std::nullopt;
  }
  ParsedTrailer parsed;
  std::memcpy(parsed.digest.data(), bytes, parsed.digest.size());
  for (int i = 7; i >= 0; --i) parsed.length = parsed.length << 8 | bytes[parsed.digest.size() + i];
  if (parsed.length != fileSize - kTrailerSize) return std::nullopt;
  std::rewind(file);
  return parsed;
}

std::string HexOf(const unsigned char* bytes, std::size_t length) {
  return archive::BytesToHex(bytes, length);
}

// A name in the cache folder that no other run of this or another process uses.
std::string TemporaryName(const std::string& base) {
  static std::atomic<unsigned> counter{0};
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return base + ".tmp-" + std::to_string(now) + "-" + std::to_string(std::random_device{}()) + "-" +
         std::to_string(++counter);
}

}  // namespace

ArchiveCache::ArchiveCache(std::string folder, std::uint64_t limitBytes)
    : folder_(std::move(folder)), limitBytes_(limitBytes) {}

ArchiveCache ArchiveCache::ForUser() {
  const char* chosen = std::getenv("FERROLAN_PACK_CACHE");
  if (chosen != nullptr && chosen[0] != '\0') return ArchiveCache(chosen);
  const std::string base = detail::UserCacheFolder();
  return ArchiveCache(base.empty() ? std::string()
                                   : (stdfs::path(base) / "ferrolan-pack").string());
}

std::string ArchiveCache::KeyOf(const ArchiveMaterial& material) {
  Hasher hasher;
  hasher.Add(kKeyVersion.data(), kKeyVersion.size());
  const std::string fields = "\n" + std::to_string(static_cast<int>(material.format)) + "\n" +
                             std::to_string(material.entryBytes) + "\n";
  hasher.Add(fields.data(), fields.size());
  hasher.Add(material.entriesDigest.data(), material.entriesDigest.size());
  if (material.key != nullptr) {
    const std::vector<unsigned char> publicKey = material.key->PublicDer();
    hasher.Add(publicKey.data(), publicKey.size());
  } else {
    hasher.Add("unsigned", 8);
  }
  const Digest digest = hasher.Done();
  // The SHA-256 half is plenty for a name.
  return HexOf(digest.data(), 32);
}

std::string ArchiveCache::PathOf(const std::string& key) const {
  return (stdfs::path(folder_) / (key + kSuffix)).string();
}

bool ArchiveCache::Fetch(const std::string& key, const std::string& output) const {
  if (folder_.empty()) return false;
  const std::string path = PathOf(key);
  std::error_code error;
  const std::uintmax_t size = stdfs::file_size(path, error);
  if (error) return false;
  fs::OwnedFile in = fs::OpenFile(path, "rb");
  if (!in) return false;
  std::optional<ParsedTrailer> trailer = ReadTrailer(in.get(), size);
  const std::string partial = output + ".partial";
  FileRemover removePartial(partial);
  bool whole = false;
  if (trailer) {
    fs::OwnedFile out = fs::OpenFile(partial, "wb");
    if (!out) return false;  // the caller packs the archive itself and reports the output
    Digest digest{};
    const Copy copied = CopyHashing(in.get(), out.get(), trailer->length, &digest);
    const bool closed = std::fclose(out.release()) == 0;
    // The output could not be written: the cached archive may well be sound.
    if (copied == Copy::kWriteFailed || (copied == Copy::kDone && !closed)) return false;
    whole = copied == Copy::kDone && digest == trailer->digest;
  }
  in.reset();
  if (!whole) {
    Note("the cached archive " + path + " is damaged; it is removed and made again");
    stdfs::remove(path, error);
    return false;
  }
  stdfs::rename(partial, output, error);
  if (error) return false;
  removePartial.Release();
  // Used now: the size limit removes archives by their time of last use.
  stdfs::last_write_time(path, stdfs::file_time_type::clock::now(), error);
  return true;
}

void ArchiveCache::Store(const std::string& key, const std::string& archivePath) const {
  if (folder_.empty()) return;
  std::error_code error;
  stdfs::create_directories(folder_, error);
  if (error) {
    Note("cannot create the archive cache " + folder_ + ": " + error.message());
    return;
  }
  const std::string path = PathOf(key);
  const std::string temporary = TemporaryName(path);
  FileRemover removeTemporary(temporary);
  const std::uintmax_t size = stdfs::file_size(archivePath, error);
  fs::OwnedFile in = fs::OpenFile(archivePath, "rb");
  fs::OwnedFile out = fs::OpenFile(temporary, "wb");
  Digest digest{};
  bool ok = !error && in && out && CopyHashing(in.get(), out.get(), size, &digest) == Copy::kDone;
  if (ok) {
    const std::string trailer = Trailer(digest, size);
    ok = std::fwrite(trailer.data(), 1, trailer.size(), out.get()) == trailer.size();
  }
  ok = out && std::fclose(out.release()) == 0 && ok;
  if (ok) {
    stdfs::rename(temporary, path, error);
    ok = !error;
  }
  if (!ok) {
    Note("cannot keep the archive in the cache " + folder_);
    return;
  }
  removeTemporary.Release();
  Trim(path);
}

void ArchiveCache::Trim(const std::string& keep) const {
  struct Kept {
    stdfs::file_time_type used;
    std::uintmax_t size;
    stdfs::path path;
  };
  std::vector<Kept> archives;
  std::uintmax_t total = 0;
  const auto now = stdfs::file_time_type::clock::now();
  std::error_code error;
  for (stdfs::directory_iterator it(folder_, error), end; !error && it != end;
       it.increment(error)) {
    std::error_code entryError;
    if (!it->is_regular_file(entryError)) continue;
    const std::string name = it->path().filename().string();
    const stdfs::file_time_type used = it->last_write_time(entryError);
    if (entryError) continue;
    if (name.find(".tmp-") != std::string::npos) {
      if (now - used > kStaleTemporary) stdfs::remove(it->path(), entryError);
      continue;
    }
    if (!name.ends_with(kSuffix) || it->path() == stdfs::path(keep)) continue;
    const std::uintmax_t size = it->file_size(entryError);
    if (entryError) continue;
    archives.push_back({used, size, it->path()});
    total += size;
  }
  std::uintmax_t kept = stdfs::file_size(keep, error);
  if (error) kept = 0;
  total += kept;
  std::sort(archives.begin(), archives.end(),
            [](const Kept& a, const Kept& b) { return a.used < b.used; });
  for (const Kept& archive : archives) {
    if (total <= limitBytes_) break;
    std::error_code removeError;
    if (stdfs::remove(archive.path, removeError)) total -= archive.size;
  }
}

}  // namespace ferrolan::pack
