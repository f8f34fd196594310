// The archive command end to end: a generated folder tree is packed and signed, then extracted
// by the launcher's own reading side (file reader, LZMA stage, Unarchiver with the signature
// check) and compared byte for byte.
#include <gtest/gtest.h>
#include <lzma.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "archive/signature.h"
#include "archive/unarchiver.h"
#include "log/log.h"
#include "pack/archive/archive_cache.h"
#include "pack/archive/folder_archive.h"
#include "pack/archive/lzma_encoder.h"
#include "pack/cli/cli.h"
#include "pack/commands.h"
#include "pack/format/key_files.h"
#include "pipeline/stages.h"
#include "testing/files.h"
#include "testing/log_capture.h"
#include "testing/temp_folder.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;

// Whole files, as the packager reads and writes them.
constexpr auto ReadAll = &testing::ReadFile;
constexpr auto WriteAll = &testing::WriteFile;

// Relative path (with "/") -> content, "<dir>" for folders.
std::map<std::string, std::string> Snapshot(const stdfs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : stdfs::recursive_directory_iterator(root)) {
    std::string name = entry.path().lexically_relative(root).generic_string();
    tree[name] = entry.is_directory() ? "<dir>" : ReadAll(entry.path());
  }
  return tree;
}

std::string Decompress(const std::string& compressed) {
  lzma_stream strm = LZMA_STREAM_INIT;
  EXPECT_EQ(lzma_auto_decoder(&strm, UINT64_MAX, 0), LZMA_OK);
  strm.next_in = reinterpret_cast<const std::uint8_t*>(compressed.data());
  strm.avail_in = compressed.size();
  std::string plain;
  std::vector<std::uint8_t> out(65536);
  lzma_ret ret = LZMA_OK;
  while (ret == LZMA_OK) {
    strm.next_out = out.data();
    strm.avail_out = out.size();
    ret = lzma_code(&strm, LZMA_RUN);
    plain.append(reinterpret_cast<const char*>(out.data()), out.size() - strm.avail_out);
  }
  lzma_end(&strm);
  EXPECT_EQ(ret, LZMA_STREAM_END);
  return plain;
}

std::string Compress(const std::string& plain) {
  std::string compressed;
  LzmaEncoder encoder(plain.size(), [&](const std::uint8_t* data, std::size_t length) {
    compressed.append(reinterpret_cast<const char*>(data), length);
    return true;
  });
  EXPECT_TRUE(encoder.Write(plain.data(), plain.size()));
  EXPECT_TRUE(encoder.Finish());
  return compressed;
}

// Extracts the way the launcher does for an archive file: StartFileReader -> UnLZMAer ->
// UnArchiver, the last on the calling thread.
archive::ArchiveStatus Extract(const std::string& archivePath, const std::string& destination) {
  pipeline::FileReaderPipe reader = pipeline::StartFileReader(fs::OpenFile(archivePath, "rb"));
  auto decoded = pipeline::RingBuffer_create(2, 102400);
  pipeline::StageThread decoder = pipeline::StartUnLZMAerStage(reader.buffer, decoded);
  const archive::ArchiveReport report =
      archive::RunUnArchiver(*decoded, archive::ArchiveJob(destination));
  decoder.Join();
  return report.status;
}

class ArchiveCommandTest : public testing::TempFolderTest {
 protected:
  // One 2048-bit key pair for the whole binary: generation is the slow part, and the signature
  // scheme is the same for every key size.
  static void SetUpTestSuite() {
    // Every test runs in its own process, several at once: each needs a folder of its own.
    keyDir_ =
        new stdfs::path(stdfs::temp_directory_path() /
                        ("ferrolan_pack_archive_keys_" + std::to_string(std::random_device()())));
    stdfs::remove_all(*keyDir_);
    stdfs::create_directories(*keyDir_);
    ASSERT_EQ(RunPack({"keygen", "-o", (*keyDir_ / "k").string(), "--bits", "2048"}), kExitOk);
  }
  static void TearDownTestSuite() {
    std::error_code ignored;
    stdfs::remove_all(*keyDir_, ignored);
    delete keyDir_;
  }

  void SetUp() override {
    stdfs::create_directories(dir_ / "out");
    MakeTree(dir_ / "in");
    std::string der = ReadAll(PublicDerFileName((*keyDir_ / "k").string()));
    archive::SetProcessPublicKey(
        archive::ImportPublicKey(reinterpret_cast<const unsigned char*>(der.data()), der.size()));
  }
  void TearDown() override { archive::SetProcessPublicKey(nullptr); }

  static void MakeTree(const stdfs::path& root) {
    stdfs::create_directories(root / "bin");
    stdfs::create_directories(root / "lib" / "security");
    stdfs::create_directories(root / "empty folder");
    WriteAll(root / "release", "JAVA_VERSION=\"17\"\n");
    WriteAll(root / "bin" / "java", std::string("\x7f"
                                                "ELF\0\1\2",
                                                7));
    WriteAll(root / "lib" / "security" / "cacerts", std::string(5000, 'c'));
    std::string big(700000, '\0');  // spans several copy chunks and decoder areas
    std::mt19937 random(11);
    for (char& c : big) c = static_cast<char>(random() % 7);  // some redundancy, not all
    WriteAll(root / "lib" / "modules", big);
    WriteAll(root / "lib" / "empty.txt", "");
  }

  // The Unarchiver logs to standard output; this keeps it where the test can read it.
  void CaptureLog() { log_.emplace(); }
  std::string Console() const { return log_ ? log_->Text() : std::string(); }

  static stdfs::path* keyDir_;
  const stdfs::path& dir_ = root_;
  std::optional<testing::LogCapture> log_;
};

stdfs::path* ArchiveCommandTest::keyDir_ = nullptr;

TEST_F(ArchiveCommandTest, SignedArchiveRoundTripsThroughTheUnarchiver) {
  const std::string archivePath = (dir_ / "app.p2.l2").string();
  ASSERT_EQ(RunPack({"archive", (dir_ / "in").string(), "-o", archivePath, "--key",
                     PrivateKeyFileName((*keyDir_ / "k").string())}),
            kExitOk);
  EXPECT_FALSE(stdfs::exists(archivePath + ".entries.tmp"));
  EXPECT_FALSE(stdfs::exists(archivePath + ".partial"));

  // The container: properties 0x5D, 8 MiB dictionary, the exact uncompressed size.
  const std::string compressed = ReadAll(archivePath);
  ASSERT_GT(compressed.size(), kLzmaHeaderSize);
  const std::string plain = Decompress(compressed);
  auto header = LzmaHeader(plain.size());
  EXPECT_EQ(compressed.substr(0, kLzmaHeaderSize),
            std::string(reinterpret_cast<const char*>(header.data()), header.size()));
  // Folders before their content, names in byte order, the signature block last.
  const std::size_t bin = plain.find(std::string("1\0bin\0", 6));
  const std::size_t folder = plain.find(std::string("1\0empty folder\0", 15));
  const std::size_t lib = plain.find(std::string("1\0lib\0", 6));
  const std::size_t modules = plain.find(std::string("0\0lib/modules\0", 14));
  ASSERT_NE(bin, std::string::npos);
  EXPECT_LT(bin, folder);
  EXPECT_LT(folder, lib);
  EXPECT_LT(lib, modules);
  EXPECT_NE(plain.rfind("flArcSpBlock_DigitalSignature1"), std::string::npos);

  CaptureLog();
  EXPECT_EQ(Extract(archivePath, (dir_ / "out").string()), archive::ArchiveStatus::kOk);
  EXPECT_NE(Console().find("[Unarchiver] Archive signature verified.\n"), std::string::npos);
  std::map<std::string, std::string> expected = Snapshot(dir_ / "in");
  expected.erase("lib/empty.txt");  // an empty entry creates no file when extracted
  EXPECT_EQ(Snapshot(dir_ / "out"), expected);
}

TEST_F(ArchiveCommandTest, UnsignedArchiveIsPlainEntries) {
  const std::string archivePath = (dir_ / "plain.p2.l2").string();
  ASSERT_EQ(RunPack({"archive", (dir_ / "in").string(), "-o", archivePath, "--no-cache"}), kExitOk);
  const std::string plain = Decompress(ReadAll(archivePath));
  EXPECT_EQ(plain.find("flArcSpBlock_"), std::string::npos);
  // Packing the same folder twice gives the same bytes: the order does not depend on the file
  // system.
  ASSERT_EQ(RunPack({"archive", (dir_ / "in").string(), "-o", archivePath + "2", "--no-cache"}),
            kExitOk);
  EXPECT_EQ(ReadAll(archivePath + "2"), ReadAll(archivePath));
}

TEST_F(ArchiveCommandTest, XzFormatHoldsTheSameEntriesAndBadFormatsAreRefused) {
  const std::string lzmaPath = (dir_ / "legacy.p2.l2").string();
  const std::string xzPath = (dir_ / "blocks.p2.l2").string();
  ASSERT_EQ(RunPack({"archive", (dir_ / "in").string(), "-o", lzmaPath}), kExitOk);
  ASSERT_EQ(RunPack({"archive", (dir_ / "in").string(), "-o", xzPath, "--format", "xz"}), kExitOk);
  const std::string xz = ReadAll(xzPath);
  EXPECT_EQ(xz.substr(0, 6), std::string("\xFD"
                                         "7zXZ\0",
                                         6));
  EXPECT_EQ(Decompress(xz), Decompress(ReadAll(lzmaPath)));

  EXPECT_EQ(RunPack({"archive", (dir_ / "in").string(), "-o", xzPath, "--format", "zip"}),
            kExitUsage);
}

// The typed call "build" uses: the result carries the sizes, and the problems that "archive"
// reports as bad arguments keep that kind, so either caller reports them the same way.
TEST_F(ArchiveCommandTest, WriteFolderArchiveReportsSizesAndTheKindOfFailure) {
  std::string error;
  std::unique_ptr<archive::SigningKey> key =
      LoadSigningKey(PrivateKeyFileName((*keyDir_ / "k").string()), &error);
  ASSERT_NE(key, nullptr) << error;
  ArchiveOptions options{(dir_ / "in").string(), (dir_ / "typed.p2.l2").string(),
                         LzmaFormat::kXzBlocks, key.get()};
  ArchiveResult result = WriteFolderArchive(options);
  ASSERT_TRUE(result.ok()) << result.message;
  EXPECT_EQ(result.compressedBytes, stdfs::file_size(options.output));
  EXPECT_EQ(Decompress(ReadAll(options.output)).size(), result.entryBytes);

  options.output = (dir_ / "in" / "inside.p2.l2").string();
  result = WriteFolderArchive(options);
  EXPECT_EQ(result.exitCode, kExitUsage);
  EXPECT_EQ(result.message, "the output must lie outside the folder being packed");
  options.folder = (dir_ / "missing").string();
  EXPECT_EQ(WriteFolderArchive(options).exitCode, kExitUsage);
  EXPECT_FALSE(stdfs::exists(options.output));
}

TEST_F(ArchiveCommandTest, TamperedArchiveIsRejected) {
  const std::string archivePath = (dir_ / "app.p2.l2").string();
  ASSERT_EQ(RunPack({"archive", (dir_ / "in").string(), "-o", archivePath, "--key",
                     PrivateKeyFileName((*keyDir_ / "k").string())}),
            kExitOk);
  // Change one content byte and recompress, as an attacker who knows the format would.
  std::string plain = Decompress(ReadAll(archivePath));
  const std::size_t at = plain.find(std::string(5000, 'c'));
  ASSERT_NE(at, std::string::npos);
  plain[at + 2500] = 'd';
  const std::string tamperedPath = (dir_ / "tampered.p2.l2").string();
  WriteAll(tamperedPath, Compress(plain));

  const std::string destination = (dir_ / "out").string();
  EXPECT_EQ(Extract(tamperedPath, destination), archive::ArchiveStatus::kRejected);
  // The rejected archive left nothing behind in its destination.
  EXPECT_TRUE(stdfs::is_empty(destination));
}

// The archive cache behind "archive", "build" and "publish".
class ArchiveCacheTest : public ArchiveCommandTest {
 protected:
  void SetUp() override {
    ArchiveCommandTest::SetUp();
    std::string error;
    key_ = LoadSigningKey(PrivateKeyFileName((*keyDir_ / "k").string()), &error);
    ASSERT_NE(key_, nullptr) << error;
  }

  // Packs "in" into `name`; whether the archive came from the cache.
  bool Pack(const ArchiveCache& cache, const std::string& name,
            LzmaFormat format = LzmaFormat::kXzBlocks, const archive::SigningKey* key = nullptr,
            bool signedArchive = true) {
    ArchiveOptions options{(dir_ / "in").string(),
                           (dir_ / name).string(),
                           format,
                           signedArchive ? (key ? key : key_.get()) : nullptr,
                           {},
                           &cache};
    ArchiveResult result = WriteFolderArchive(options);
    EXPECT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(result.compressedBytes, stdfs::file_size(options.output));
    return result.fromCache;
  }

  bool Verifies(const std::string& name) {
    std::error_code ignored;
    stdfs::remove_all(dir_ / "out", ignored);
    stdfs::create_directories(dir_ / "out");
    CaptureLog();
    return Extract((dir_ / name).string(), (dir_ / "out").string()) ==
               archive::ArchiveStatus::kOk &&
           Console().find("[Unarchiver] Archive signature verified.\n") != std::string::npos;
  }

  std::vector<stdfs::path> CachedFiles(const stdfs::path& folder) const {
    std::vector<stdfs::path> files;
    std::error_code ignored;
    for (stdfs::directory_iterator it(folder, ignored), end; !ignored && it != end; ++it)
      files.push_back(it->path());
    return files;
  }

  std::unique_ptr<archive::SigningKey> key_;
};

// The same folder, format and key again: the cached archive, whole and verifying. Whatever
// changes the entries or the signer is packed anew.
TEST_F(ArchiveCacheTest, SamePackingIsTakenFromTheCacheAndEveryChangeMisses) {
  const ArchiveCache cache((dir_ / "cache").string());
  EXPECT_FALSE(Pack(cache, "first.p2.l2"));
  EXPECT_TRUE(Pack(cache, "again.p2.l2"));
  EXPECT_EQ(ReadAll(dir_ / "again.p2.l2"), ReadAll(dir_ / "first.p2.l2"));
  EXPECT_TRUE(Verifies("again.p2.l2"));

  EXPECT_FALSE(Pack(cache, "legacy.p2.l2", LzmaFormat::kLegacy));
  EXPECT_FALSE(Pack(cache, "unsigned.p2.l2", LzmaFormat::kXzBlocks, nullptr, false));
  std::unique_ptr<archive::SigningKey> other = archive::SigningKey::Generate(2048);
  ASSERT_NE(other, nullptr);
  EXPECT_FALSE(Pack(cache, "other-key.p2.l2", LzmaFormat::kXzBlocks, other.get()));
  WriteAll(dir_ / "in" / "release", "JAVA_VERSION=\"18\"\n");
  EXPECT_FALSE(Pack(cache, "changed-byte.p2.l2"));
  stdfs::rename(dir_ / "in" / "release", dir_ / "in" / "release.txt");
  EXPECT_FALSE(Pack(cache, "renamed.p2.l2"));
  EXPECT_TRUE(Verifies("renamed.p2.l2"));
  EXPECT_TRUE(Pack(cache, "renamed-again.p2.l2"));
}

// A cached archive that was changed or cut short is never handed out: it is removed, the
// archive is compressed again and kept again.
TEST_F(ArchiveCacheTest, DamagedCachedArchiveIsMadeAgain) {
  const ArchiveCache cache((dir_ / "cache").string());
  ASSERT_FALSE(Pack(cache, "first.p2.l2"));
  std::vector<stdfs::path> cached = CachedFiles(dir_ / "cache");
  ASSERT_EQ(cached.size(), 1u);
  std::string bytes = ReadAll(cached[0]);
  for (const std::size_t at : {bytes.size() / 2, bytes.size() - 1}) {
    std::string damaged = bytes;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
    WriteAll(cached[0], damaged);
    EXPECT_FALSE(Pack(cache, "damaged.p2.l2")) << at;
    EXPECT_TRUE(Verifies("damaged.p2.l2")) << at;
    EXPECT_TRUE(Pack(cache, "kept-again.p2.l2")) << at;
  }
  WriteAll(cached[0], ReadAll(cached[0]).substr(0, bytes.size() / 3));
  EXPECT_FALSE(Pack(cache, "cut.p2.l2"));
  EXPECT_TRUE(Verifies("cut.p2.l2"));
}

// The cache holds at most its limit (the archive just kept stays, whatever its size); a cache
// that cannot be written costs nothing but a note.
TEST_F(ArchiveCacheTest, LimitRemovesTheLeastRecentlyUsedAndAnUnwritableCacheIsPassedOver) {
  const ArchiveCache tiny((dir_ / "tiny").string(), 1);
  EXPECT_FALSE(Pack(tiny, "a.p2.l2"));
  WriteAll(dir_ / "in" / "release", "another release\n");
  EXPECT_FALSE(Pack(tiny, "b.p2.l2"));
  EXPECT_EQ(CachedFiles(dir_ / "tiny").size(), 1u);
  EXPECT_TRUE(Pack(tiny, "b-again.p2.l2"));

  WriteAll(dir_ / "blocked", "a file where the cache folder should be");
  const ArchiveCache blocked((dir_ / "blocked" / "cache").string());
  EXPECT_FALSE(Pack(blocked, "blocked.p2.l2"));
  EXPECT_TRUE(Verifies("blocked.p2.l2"));
  EXPECT_FALSE(Pack(blocked, "blocked-again.p2.l2"));
}

// The commands use the cache that FERROLAN_PACK_CACHE names (the test's own, see TempFolder);
// --no-cache neither reads nor writes it.
TEST_F(ArchiveCacheTest, CommandsUseTheUsersCacheUnlessTold) {
  const std::string key = PrivateKeyFileName((*keyDir_ / "k").string());
  const std::string archivePath = (dir_ / "cmd.p2.l2").string();
  ASSERT_EQ(RunPack({"archive", (dir_ / "in").string(), "-o", archivePath, "--key", key, "--format",
                     "xz", "--no-cache"}),
            kExitOk);
  EXPECT_FALSE(stdfs::exists(tempFolder_.PackCache()));
  ASSERT_EQ(RunPack({"archive", (dir_ / "in").string(), "-o", archivePath, "--key", key, "--format",
                     "xz"}),
            kExitOk);
  EXPECT_EQ(CachedFiles(tempFolder_.PackCache()).size(), 1u);
  EXPECT_TRUE(Pack(ArchiveCache::ForUser(), "from-users-cache.p2.l2"));
}

}  // namespace
}  // namespace ferrolan::pack
