// The packager's archive cache: compressed, signed archives kept under a key made of what they
// hold and the key that signed them, so a build whose folders did not change copies its archives
// instead of compressing them again (compression is nearly all of a build's time).
//
// Each archive is one file, KEY.archive: the archive's bytes followed by a trailer with their
// mixed digest and length, which a hit checks before it hands the archive out. The file appears
// by rename, so packagers running at the same time never see half of one, and a damaged one is
// removed and made again. The folder is kept under a size limit by removing the archives used
// least recently.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "archive/archive_writer.h"
#include "archive/mixed_hash.h"
#include "pack/archive/lzma_encoder.h"

namespace ferrolan::pack {

/// What makes an archive: the mixed digest and length of its entry stream before the signature
/// block, the container it is compressed into and the key that signs it (null: unsigned).
struct ArchiveMaterial {
  std::array<unsigned char, archive::kMixedDigestSize> entriesDigest{};
  std::uint64_t entryBytes = 0;
  LzmaFormat format = LzmaFormat::kLegacy;
  const archive::SigningKey* key = nullptr;
};

class ArchiveCache {
 public:
  static constexpr std::uint64_t kDefaultLimitBytes = 4ull << 30;

  /// The cache in `folder`, created when first stored to; archives beyond `limitBytes` in all
  /// are removed, least recently used first.
  explicit ArchiveCache(std::string folder, std::uint64_t limitBytes = kDefaultLimitBytes);

  /// The cache of FERROLAN_PACK_CACHE when set, else the user's cache folder
  /// ("ferrolan-pack" under XDG_CACHE_HOME or ~/.cache; under LOCALAPPDATA on Windows). Its
  /// folder is empty when neither is known, and such a cache holds nothing.
  static ArchiveCache ForUser();

  /// The cache key of an archive made of `material`: 64 hexadecimal digits.
  static std::string KeyOf(const ArchiveMaterial& material);

  /// Copies the archive cached under `key` to `output` (through a partial file, so `output` is
  /// replaced only by a whole archive). False when there is none, or when the cached one is
  /// damaged, which is then removed with a note on stderr.
  bool Fetch(const std::string& key, const std::string& output) const;

  /// Keeps `archivePath` under `key`. A cache that cannot be written only costs a note on
  /// stderr: the build goes on.
  void Store(const std::string& key, const std::string& archivePath) const;

  const std::string& folder() const { return folder_; }

 private:
  std::string PathOf(const std::string& key) const;
  void Trim(const std::string& keep) const;

  std::string folder_;
  std::uint64_t limitBytes_;
};

}  // namespace ferrolan::pack
