#include "archive/unarchiver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "archive/file_mode.h"
#include "archive/signature.h"
#include "archive/testdata/archive_test_util.h"
#include "fs/path.h"
#include "os/os.h"
#include "testing/files.h"
#include "testing/log_capture.h"

namespace ferrolan::archive {
namespace {

using namespace std::string_literals;
using testutil::BuildArchive;
using testutil::FilledBuffer;
using testutil::IsEmptyFolder;
constexpr auto ReadAll = &ferrolan::testing::ReadFile;
using testutil::TempFolder;
using testutil::TestKey;

std::unique_ptr<PublicKey> TestPublicKey() {
  const std::string hex = TestKey().PublicHex();
  std::vector<unsigned char> der(hex.size() / 2 + 2, 0);
  const int produced = HexToBytes(der.data(), der.size(), hex);
  return ImportPublicKey(der.data(), static_cast<std::size_t>(produced));
}

void UseTestPublicKey() {
  SetProcessPublicKey(TestPublicKey());
  ASSERT_NE(ProcessPublicKey(), nullptr);
}

ArchiveStatus Extract(const std::string& archive, const TempFolder& temp) {
  ArchiveJob job;
  job.destination = temp.destString();
  return ExtractArchive(*FilledBuffer(archive), job).status;
}

constexpr ArchiveStatus kOk = ArchiveStatus::kOk;
constexpr ArchiveStatus kRejected = ArchiveStatus::kRejected;

class UnarchiverTest : public ::testing::Test {
 protected:
  void SetUp() override { SetProcessPublicKey(nullptr); }
  void TearDown() override { SetProcessPublicKey(nullptr); }
};

TEST_F(UnarchiverTest, SignedArchiveIsWrittenAndVerified) {
  TempFolder temp("signed");
  UseTestPublicKey();
  const std::string big(300000, 'q');  // several chunks of the input buffer
  const std::string archive = BuildArchive(
      [&](ArchiveWriter& w) {
        w.AddFolder("bin");
        w.AddFile("a/b/c.txt", "abc");  // parents created although no folder entry precedes
        w.AddFile("empty.txt", "");
        w.AddFile("bin/big.dat", big);
        w.AddFile("flArcSpBlock_Other", "special");  // an unknown special block is a file
      },
      &TestKey());
  EXPECT_EQ(Extract(archive, temp), kOk);
  EXPECT_TRUE(std::filesystem::is_directory(temp.dest() / "bin"));
  EXPECT_EQ(ReadAll(temp.dest() / "a" / "b" / "c.txt"), "abc");
  EXPECT_FALSE(std::filesystem::exists(temp.dest() / "empty.txt"));
  EXPECT_EQ(ReadAll(temp.dest() / "bin" / "big.dat"), big);
  EXPECT_EQ(ReadAll(temp.dest() / "flArcSpBlock_Other"), "special");
}

TEST_F(UnarchiverTest, ExtractedProgramsStayRunnable) {
  EXPECT_TRUE(
      LooksLikeProgram("\x7F"
                       "ELF\x02"));
  EXPECT_TRUE(LooksLikeProgram("#!/bin/sh"));
  EXPECT_FALSE(LooksLikeProgram("MZ\x90"));
  EXPECT_FALSE(LooksLikeProgram("#"));
  EXPECT_FALSE(LooksLikeProgram(""));

  TempFolder temp("modes");
  const std::string archive = BuildArchive(
      [&](ArchiveWriter& w) {
        w.AddFile("bin/java",
                  "\x7F"
                  "ELF and the rest of an image");
        w.AddFile("bin/tool.sh", "#!/bin/sh\nexit 0\n");
        w.AddFile("lib/modules", "data");
      },
      nullptr);
  EXPECT_EQ(Extract(archive, temp), kOk);
  if (fs::PathSeparator() != '/') return;  // Windows keeps no executable bits
  namespace stdfs = std::filesystem;
  auto executable = [&](const char* name) {
    return (stdfs::status(temp.dest() / name).permissions() & stdfs::perms::owner_exec) !=
           stdfs::perms::none;
  };
  EXPECT_TRUE(executable("bin/java"));
  EXPECT_TRUE(executable("bin/tool.sh"));
  EXPECT_FALSE(executable("lib/modules"));
}

TEST_F(UnarchiverTest, WithoutKeyAndBlockTheArchiveIsAccepted) {
  TempFolder temp("unsigned");
  // A lone folder entry and a file with a backslash path.
  const std::string archive = "1\0bin\0"s +
                              "0\0bin\\part.txt\0"
                              "3\0abc"s;
  EXPECT_EQ(Extract(archive, temp), kOk);
  EXPECT_TRUE(std::filesystem::is_directory(temp.dest() / "bin"));
  EXPECT_EQ(ReadAll(temp.dest() / "bin" / "part.txt"), "abc");

  // A stream cut inside a file's content or an entry header is no archive's end: it fails,
  // and what arrived is removed.
  TempFolder cut("cut-content");
  EXPECT_EQ(Extract("1\0bin\0"s + "0\0bin\\part.txt\0" + "10\0abc"s, cut),
            ArchiveStatus::kTruncated);
  EXPECT_TRUE(IsEmptyFolder(cut.dest()));
  TempFolder header("cut-header");
  EXPECT_EQ(Extract("0\0name.txt\0"s, header), ArchiveStatus::kTruncated);
  EXPECT_TRUE(IsEmptyFolder(header.dest()));
}

TEST_F(UnarchiverTest, AlteredArchiveIsRejectedAndItsFilesRemoved) {
  TempFolder temp("tampered");
  std::string archive =
      BuildArchive([](ArchiveWriter& w) { w.AddFile("dir/file.txt", "original"); }, &TestKey());
  archive[archive.find("original")] = 'O';
  UseTestPublicKey();
  EXPECT_EQ(Extract(archive, temp), kRejected);
  EXPECT_TRUE(IsEmptyFolder(temp.dest()));
}

// The entries' header fields are covered by the signature like their contents: an archive
// whose type, path or length field was changed is refused and leaves nothing behind.
TEST_F(UnarchiverTest, AlteredHeaderFieldsAreRejected) {
  const std::string archive = BuildArchive(
      [](ArchiveWriter& w) {
        w.AddFile("first.txt", "first");
        w.AddFile("dir/file.txt", "original");
      },
      &TestKey());
  const std::string header =
      "0\0dir/file.txt\0"
      "8\0"s;
  const std::size_t at = archive.find(header);
  ASSERT_NE(at, std::string::npos);
  const std::pair<const char*, std::string> changes[] = {
      {"type to folder",
       "1\0dir/file.txt\0"
       "8\0"s},
      {"type to packed",
       "2\0dir/file.txt\0"
       "8\0"s},
      {"path",
       "0\0dir/fila.txt\0"
       "8\0"s},
      {"path moved",
       "0\0dix/file.txt\0"
       "8\0"s},
      {"length shorter",
       "0\0dir/file.txt\0"
       "7\0"s},
      {"length longer",
       "0\0dir/file.txt\0"
       "9\0"s},
  };
  UseTestPublicKey();
  for (const auto& [what, replacement] : changes) {
    TempFolder temp("altered-header");
    std::string altered = archive;
    altered.replace(at, header.size(), replacement);
    EXPECT_EQ(Extract(altered, temp), kRejected) << what;
    EXPECT_TRUE(IsEmptyFolder(temp.dest())) << what;
  }
}

TEST_F(UnarchiverTest, SignatureAndKeyMustComeTogether) {
  TempFolder unsignedWithKey("unsigned-with-key");
  const std::string plain = BuildArchive([](ArchiveWriter& w) { w.AddFile("f", "x"); }, nullptr);
  UseTestPublicKey();
  EXPECT_EQ(Extract(plain, unsignedWithKey), kRejected);
  EXPECT_TRUE(IsEmptyFolder(unsignedWithKey.dest()));
  SetProcessPublicKey(nullptr);

  TempFolder signedNoKey("signed-no-key");
  const std::string signedArchive =
      BuildArchive([](ArchiveWriter& w) { w.AddFile("f", "x"); }, &TestKey());
  EXPECT_EQ(Extract(signedArchive, signedNoKey), kRejected);
  EXPECT_TRUE(IsEmptyFolder(signedNoKey.dest()));

  // A block whose fields are missing is no signature either.
  TempFolder truncatedBlock("truncated-block");
  const std::string cut = plain +
                          "0\0flArcSpBlock_DigitalSignature1\0"
                          "1033\0"s;
  EXPECT_EQ(Extract(cut, truncatedBlock), kRejected);

  // An empty entry under the block's name is an empty file: hashed with the rest, so the real
  // block that follows verifies, and on its own it is no signature.
  UseTestPublicKey();
  TempFolder emptyNamesake("empty-namesake");
  const std::string withEmpty = BuildArchive(
      [](ArchiveWriter& w) {
        w.AddFile("flArcSpBlock_DigitalSignature1", "");
        w.AddFile("f", "x");
      },
      &TestKey());
  EXPECT_EQ(Extract(withEmpty, emptyNamesake), kOk);
  EXPECT_EQ(ReadAll(emptyNamesake.dest() / "f"), "x");
  EXPECT_FALSE(std::filesystem::exists(emptyNamesake.dest() / "flArcSpBlock_DigitalSignature1"));
  TempFolder onlyEmptyNamesake("only-empty-namesake");
  EXPECT_EQ(Extract(plain + "0\0flArcSpBlock_DigitalSignature1\0"
                            "0\0"s,
                    onlyEmptyNamesake),
            kRejected);
}

TEST_F(UnarchiverTest, EntriesThatWouldLeaveTheDestinationRejectTheArchive) {
  for (const std::string& path : {"../outside.txt"s, "a/../../outside.txt"s, "/tmp/abs.txt"s,
                                  "C:\\abs.txt"s, "..\\outside.txt"s}) {
    TempFolder temp("unsafe");
    const std::string archive =
        "0\0ok.txt\0"
        "1\0k"s +
        "0\0"s + path +
        "\0"
        "1\0x"s;
    EXPECT_EQ(Extract(archive, temp), kRejected) << path;
    EXPECT_TRUE(IsEmptyFolder(temp.dest())) << path;
    EXPECT_FALSE(std::filesystem::exists(temp.root() / "outside.txt")) << path;
  }
  // Tail entries follow the same rule.
  TempFolder tail("unsafe-tail");
  EXPECT_EQ(ExtractTailEntry(*FilledBuffer("0\0../outside.txt\0"
                                           "1\0x"s),
                             tail.destString()),
            EntryResult::kRejected);
  EXPECT_FALSE(std::filesystem::exists(tail.root() / "outside.txt"));
}

TEST_F(UnarchiverTest, BadLengthFieldsRejectTheArchive) {
  for (const std::string& length : {"-5"s, "abc"s, "2147483648"s, ""s}) {
    TempFolder temp("bad-length");
    const std::string archive = "0\0f.txt\0"s + length + "\0xxxx"s;
    EXPECT_EQ(Extract(archive, temp), kRejected) << length;
  }
}

TEST_F(UnarchiverTest, PackedEntriesGoThroughUnpack200) {
  TempFolder temp("pack200");
  SetUnpack200Path(FAKE_UNPACK200_PATH);
  const std::string archive = BuildArchive(
      [](ArchiveWriter& w) {
        w.AddFile("lib/x.jar", "PACKED", EntryType::kPack200);
        w.AddFile("lib/bad.jar", "fail", EntryType::kPack200);
      },
      nullptr);
  EXPECT_EQ(Extract(archive, temp), kOk);
  EXPECT_EQ(ReadAll(temp.dest() / "lib" / "x.jar"), "unpacked:PACKED");
  EXPECT_FALSE(std::filesystem::exists(temp.dest() / "lib" / "x.jar.p2"));
  // A tool that produced nothing: logged, extraction goes on, the packed file is still removed.
  EXPECT_FALSE(std::filesystem::exists(temp.dest() / "lib" / "bad.jar"));
  EXPECT_FALSE(std::filesystem::exists(temp.dest() / "lib" / "bad.jar.p2"));
}

// A JRE archive brings its own unpack200 and the launcher is pointed at it: the tool must not
// run before the archive (and the archive around a nested one) has been accepted.
TEST_F(UnarchiverTest, PackedEntriesWaitForTheSignature) {
  const std::string tool = ReadAll(std::filesystem::path(FAKE_UNPACK200_PATH));
  const std::string inner = testutil::CompressLzmaAlone(BuildArchive(
      [](ArchiveWriter& w) { w.AddFile("lib/y.jar", "INNER", EntryType::kPack200); }, &TestKey()));
  std::string archive = BuildArchive(
      [&](ArchiveWriter& w) {
        w.AddFile("bin/unpack200.exe", tool);
        w.AddFile("lib/x.jar", "PACKED", EntryType::kPack200);
        w.AddFile("inner.p2.l2", inner);  // signed on its own: only the outer archive is forged
        w.AddFile("z.txt", "original");
      },
      &TestKey());
  UseTestPublicKey();
  const auto extract = [&](const TempFolder& temp) {
    os::SetEnv("FAKE_UNPACK200_TRACE", (temp.root() / "trace.txt").string());
    SetUnpack200Path((temp.dest() / "bin" / "unpack200.exe").string());
    const ArchiveStatus status = Extract(archive, temp);
    os::SetEnv("FAKE_UNPACK200_TRACE", std::nullopt);
    return status;
  };

  TempFolder good("pack200-signed");
  ferrolan::testing::LogCapture log;
  EXPECT_EQ(extract(good), kOk);
  EXPECT_EQ(ReadAll(good.dest() / "lib" / "x.jar"), "unpacked:PACKED");
  EXPECT_EQ(ReadAll(good.dest() / "lib" / "y.jar"), "unpacked:INNER");
  const std::string packed = (good.dest() / "lib").string() + fs::PathSeparator();
  EXPECT_EQ(ReadAll(good.root() / "trace.txt"),
            packed + "x.jar.p2\n" + packed + "y.jar.p2\n");  // archive order
  EXPECT_EQ(log.CountStartingWith("\t[Unarchiver] Requires unpacking200..."), 2);
  const std::string text = log.Text();
  EXPECT_LT(text.rfind("[Unarchiver] Archive signature verified."),
            text.find("[Unarchiver] Requires unpacking200..."));

  TempFolder forged("pack200-forged");
  archive[archive.find("original")] = 'O';
  EXPECT_EQ(extract(forged), kRejected);
  EXPECT_FALSE(std::filesystem::exists(forged.root() / "trace.txt"));
  EXPECT_TRUE(IsEmptyFolder(forged.dest()));
}

TEST_F(UnarchiverTest, TailEntriesAreSingleAndUnhashed) {
  TempFolder temp("tail");
  const auto input = FilledBuffer(
      "0\0lzma.exe\0"
      "3\0abc"s +
      "0\0flArcSpBlock_DigitalSignature1\0"
      "2\0zz"s);
  EXPECT_EQ(ExtractTailEntry(*input, temp.destString()), EntryResult::kNext);
  EXPECT_EQ(ReadAll(temp.dest() / "lzma.exe"), "abc");
  // Outside an archive the signature block's name means nothing special.
  EXPECT_EQ(ExtractTailEntry(*input, temp.destString()), EntryResult::kNext);
  EXPECT_EQ(ReadAll(temp.dest() / "flArcSpBlock_DigitalSignature1"), "zz");
  EXPECT_EQ(ExtractTailEntry(*input, temp.destString()), EntryResult::kEnd);
}

TEST_F(UnarchiverTest, NestedArchiveIsExtractedInStepAndVerified) {
  TempFolder temp("nested");
  UseTestPublicKey();
  const std::string inner = BuildArchive(
      [](ArchiveWriter& w) {
        w.AddFolder("app");
        w.AddFile("app/main.txt", "inner content");
      },
      &TestKey());
  const std::string compressed = testutil::CompressLzmaAlone(inner);
  ASSERT_FALSE(compressed.empty());
  const std::string tail =
      "0\0updater.p2.l2\0"s + std::to_string(compressed.size()) + "\0"s + compressed;
  EXPECT_EQ(ExtractTailEntry(*FilledBuffer(tail), temp.destString()), EntryResult::kNext);
  EXPECT_EQ(ReadAll(temp.dest() / "app" / "main.txt"), "inner content");
  EXPECT_FALSE(std::filesystem::exists(temp.dest() / "updater.p2.l2"));

  // The same nested archive inside a signed outer archive: both signatures hold.
  TempFolder outer("nested-outer");
  const std::string wrapped =
      BuildArchive([&](ArchiveWriter& w) { w.AddFile("jre.p2.l2", compressed); }, &TestKey());
  EXPECT_EQ(Extract(wrapped, outer), kOk);
  EXPECT_EQ(ReadAll(outer.dest() / "app" / "main.txt"), "inner content");
}

TEST_F(UnarchiverTest, NestedArchiveCutShortEndsInsteadOfHanging) {
  const std::string inner =
      BuildArchive([](ArchiveWriter& w) { w.AddFile("f.txt", std::string(5000, 'f')); }, nullptr);
  const std::string compressed = testutil::CompressLzmaAlone(inner);
  // The entry announces the full length but the stream ends half-way.
  const std::string tail = "0\0x.p2.l2\0"s + std::to_string(compressed.size()) + "\0"s +
                           compressed.substr(0, compressed.size() / 2);
  TempFolder temp("nested-cut");
  // Without a key the part that arrived is no clean end either: the entry is cut short.
  EXPECT_EQ(ExtractTailEntry(*FilledBuffer(tail), temp.destString()), EntryResult::kTruncated);
  EXPECT_TRUE(IsEmptyFolder(temp.dest()));
  // With a key it fails the same way, before any signature could be checked.
  TempFolder keyed("nested-cut-key");
  UseTestPublicKey();
  EXPECT_EQ(ExtractTailEntry(*FilledBuffer(tail), keyed.destString()), EntryResult::kTruncated);
  EXPECT_TRUE(IsEmptyFolder(keyed.dest()));
}

TEST_F(UnarchiverTest, StageClosesItsInputWhenTheArchiveEnds) {
  TempFolder temp("stage");
  const std::string archive =
      BuildArchive([](ArchiveWriter& w) { w.AddFile("f", "x"); }, &TestKey()) + "trailing";
  UseTestPublicKey();
  auto input = pipeline::RingBuffer_create(2, 102400);
  pipeline::RingBuffer_write(*input, archive.data(), static_cast<int>(archive.size()));
  ArchiveJob job;
  job.destination = temp.destString();
  UnArchiverStage stage = StartUnArchiverStage(input, job);
  EXPECT_EQ(stage.thread.Join(), 0);
  EXPECT_EQ(stage.report->files, 1);
  EXPECT_TRUE(input->Closed());  // a producer with more to write is released
  EXPECT_EQ(ReadAll(temp.dest() / "f"), "x");
}

TEST_F(UnarchiverTest, VerifyOnlyChecksEverythingAndWritesNothing) {
  TempFolder temp("verify-only");
  std::filesystem::create_directories(temp.dest());
  std::ofstream(temp.dest() / "kept.txt") << "mine";
  const std::string inner = testutil::CompressLzmaAlone(
      BuildArchive([](ArchiveWriter& w) { w.AddFile("in/x.txt", "x"); }, &TestKey()));
  const std::string archive = BuildArchive(
      [&](ArchiveWriter& w) {
        w.AddFolder("bin");
        w.AddFile("bin/a.txt", "abc");
        w.AddFile("nested.p2.l2", inner);
        w.AddFile("lib/x.jar", "PACKED", EntryType::kPack200);  // neither written nor unpacked
      },
      &TestKey());
  const std::unique_ptr<PublicKey> key = TestPublicKey();
  ArchiveJob job;
  job.destination = temp.destString();
  job.verifyOnly = true;
  job.key = key.get();  // the process has no key: the job's own is used

  ArchiveReport report = ExtractArchive(*FilledBuffer(archive), job);
  EXPECT_EQ(report.status, kOk) << report.problem;
  EXPECT_EQ(report.files, 3);  // bin/a.txt, the nested in/x.txt and lib/x.jar
  EXPECT_EQ(report.folders, 1);
  EXPECT_TRUE(report.signatureBlock);
  EXPECT_EQ(report.signedLength, static_cast<std::int64_t>(report.hashedBytes));
  EXPECT_FALSE(std::filesystem::exists(temp.dest() / "bin"));
  EXPECT_FALSE(std::filesystem::exists(temp.dest() / "in"));
  EXPECT_FALSE(std::filesystem::exists(temp.dest() / "lib"));

  // Refusals say why, and a verification never empties the folder it was given.
  std::string tampered = archive;
  tampered[tampered.find("abc")] = 'A';
  report = ExtractArchive(*FilledBuffer(tampered), job);
  EXPECT_EQ(report.status, kRejected);
  EXPECT_EQ(report.problem, "the signature does not match");
  job.key = nullptr;  // a launcher without a key refuses a signed archive
  report = ExtractArchive(*FilledBuffer(archive), job);
  EXPECT_EQ(report.status, kRejected);
  EXPECT_EQ(report.problem, "no public key to check the signature with");
  report = ExtractArchive(*FilledBuffer("0\0../x\0"
                                        "1\0x"s),
                          job);
  EXPECT_EQ(report.problem, "entry path leaves the destination: ../x");
  EXPECT_EQ(ReadAll(temp.dest() / "kept.txt"), "mine");
}

TEST_F(UnarchiverTest, CompressedArchiveFromAFileAndWriteFailures) {
  TempFolder temp("from-file");
  const std::string compressed = testutil::CompressLzmaAlone(
      BuildArchive([](ArchiveWriter& w) { w.AddFile("f.txt", "content"); }, nullptr));
  const std::filesystem::path file = temp.root() / "archive.bin";
  std::ofstream(file, std::ios::binary) << "prefix" << compressed << "trailing bytes";
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.string().c_str(), "rb"),
                                                     &std::fclose);
  ASSERT_TRUE(in);
  ASSERT_EQ(std::fseek(in.get(), 6, SEEK_SET), 0);
  ArchiveJob job;
  job.destination = temp.destString();
  EXPECT_EQ(ExtractCompressedArchive(in.get(), compressed.size(), job).status, kOk);
  EXPECT_EQ(ReadAll(temp.dest() / "f.txt"), "content");

  // A destination that does not exist cannot take the file: the archive fails.
  ASSERT_EQ(std::fseek(in.get(), 6, SEEK_SET), 0);
  job.destination = (temp.root() / "missing").string();
  EXPECT_EQ(ExtractCompressedArchive(in.get(), compressed.size(), job).status,
            ArchiveStatus::kWriteFailed);
  // Damaged compressed data is reported as such.
  ASSERT_EQ(std::fseek(in.get(), 0, SEEK_SET), 0);
  job.destination = temp.destString();
  EXPECT_TRUE(ExtractCompressedArchive(in.get(), compressed.size(), job).decoderFailed);
}

}  // namespace
}  // namespace ferrolan::archive
