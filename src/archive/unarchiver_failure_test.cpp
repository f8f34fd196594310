// What a failed archive leaves behind (nothing of its own), the disk reserve, and the names
// Windows would alias.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "archive/entry_format.h"
#include "archive/signature.h"
#include "archive/testdata/archive_test_util.h"
#include "archive/unarchiver.h"
#include "testing/files.h"

namespace ferrolan::archive {
namespace {

namespace stdfs = std::filesystem;
using testutil::BuildArchive;
using testutil::FilledBuffer;
using testutil::TempFolder;

// A destination holding a file and a folder the archive did not create; they must survive.
class Prepared : public TempFolder {
 public:
  explicit Prepared(const std::string& tag) : TempFolder(tag) {
    stdfs::create_directories(dest() / "own");
    std::ofstream(dest() / "kept.txt") << "mine";
    std::ofstream(dest() / "own" / "kept.txt") << "mine too";
  }
};

// Only what was there before the archive is left.
void ExpectOnlyWhatWasThere(const TempFolder& temp) {
  std::vector<std::string> left;
  for (const auto& entry : stdfs::recursive_directory_iterator(temp.dest()))
    left.push_back(stdfs::relative(entry.path(), temp.dest()).generic_string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"kept.txt", "own", "own/kept.txt"}));
}

ArchiveReport Extract(const std::string& bytes, const TempFolder& temp, DiskSpaceQuery space = {}) {
  ArchiveJob job(temp.destString());
  job.diskSpace = std::move(space);
  return ExtractArchive(*FilledBuffer(bytes), job);
}

const std::string kTwoFiles = BuildArchive(
    [](ArchiveWriter& w) {
      w.AddFolder("bin");
      w.AddFile("bin/first.txt", "first file");
      w.AddFile("own/deep/second.txt", std::string(5000, 's'));
      w.AddFile("third.txt", "third");
    },
    nullptr);

// An archive cut anywhere inside an entry fails and takes back everything it wrote; only a cut
// exactly between entries is the (unsigned) archive's end.
TEST(UnarchiverFailureTest, ArchiveCutInsideAnEntryFailsAndLeavesNoneOfItsFiles) {
  const std::size_t insideContent = kTwoFiles.find(std::string(100, 's'));
  const std::size_t insideHeader = kTwoFiles.find("third.txt") + 2;
  for (const std::size_t cut : {insideContent, insideHeader}) {
    Prepared temp("cut-" + std::to_string(cut));
    const ArchiveReport report = Extract(kTwoFiles.substr(0, cut), temp);
    EXPECT_EQ(report.status, ArchiveStatus::kTruncated) << cut;
    EXPECT_NE(report.problem.find("the input ends inside the entry"), std::string::npos);
    ExpectOnlyWhatWasThere(temp);
  }
  Prepared temp("cut-between");
  const std::size_t between = kTwoFiles.find("0\0third.txt", 0, 11);
  EXPECT_EQ(Extract(kTwoFiles.substr(0, between), temp).status, ArchiveStatus::kOk);
  EXPECT_TRUE(stdfs::exists(temp.dest() / "own" / "deep" / "second.txt"));
}

TEST(UnarchiverFailureTest, WriteFailureAndRejectionRemoveOnlyWhatTheArchiveCreated) {
  Prepared blocked("write-failure");
  stdfs::create_directories(blocked.dest() / "third.txt");  // a folder where a file must go
  std::ofstream(blocked.dest() / "third.txt" / "x") << "x";
  const ArchiveReport failed = Extract(kTwoFiles, blocked);
  EXPECT_EQ(failed.status, ArchiveStatus::kWriteFailed);
  stdfs::remove_all(blocked.dest() / "third.txt");
  ExpectOnlyWhatWasThere(blocked);

  SetProcessPublicKey(nullptr);
  Prepared rejected("rejected");
  const std::string signedArchive = BuildArchive(
      [](ArchiveWriter& w) { w.AddFile("own/new/file.txt", "payload"); }, &testutil::TestKey());
  std::string tampered = signedArchive;
  tampered[tampered.find("payload")] = 'P';
  EXPECT_EQ(Extract(tampered, rejected).status, ArchiveStatus::kRejected);  // no key to check
  ExpectOnlyWhatWasThere(rejected);
}

TEST(UnarchiverFailureTest, TailEntryCutShortIsNoCleanEnd) {
  Prepared temp("tail-entry");
  const std::string entry = EncodeEntryHeader(EntryType::kFile, "own/sub/lzma.exe", 100) + "short";
  EXPECT_EQ(ExtractTailEntry(*FilledBuffer(entry), temp.destString()), EntryResult::kTruncated);
  ExpectOnlyWhatWasThere(temp);
  // Nothing at all where an entry is due is the end of the stream, which the caller judges.
  EXPECT_EQ(ExtractTailEntry(*FilledBuffer(""), temp.destString()), EntryResult::kEnd);
}

TEST(UnarchiverFailureTest, DiskReserveStopsTheArchiveBeforeTheDiskFills) {
  constexpr std::uint64_t kGiB = 1024ULL * 1024 * 1024;
  EXPECT_EQ(fs::DiskReserve({0, 100 * kGiB}), kGiB);         // large disks keep 1 GiB
  EXPECT_EQ(fs::DiskReserve({0, 2 * kGiB}), 2 * kGiB / 20);  // small ones 5%

  // Room for the first files but not for the 5000-byte one: nothing stays.
  Prepared temp("reserve");
  const auto space = [&](const std::string& folder) {
    EXPECT_EQ(folder, temp.destString());
    return std::optional<fs::DiskSpace>(fs::DiskSpace{kGiB + 4000, 100 * kGiB});
  };
  const ArchiveReport report = Extract(kTwoFiles, temp, space);
  EXPECT_EQ(report.status, ArchiveStatus::kNoSpace);
  EXPECT_EQ(report.problem, "not enough free space on the destination");
  ExpectOnlyWhatWasThere(temp);

  // A file system that cannot tell its free space does not hold the archive up.
  TempFolder unknown("reserve-unknown");
  EXPECT_EQ(
      Extract(kTwoFiles, unknown, [](const std::string&) { return std::optional<fs::DiskSpace>(); })
          .status,
      ArchiveStatus::kOk);
  // The real query answers for an existing folder.
  const std::optional<fs::DiskSpace> real = fs::QueryDiskSpace(unknown.destString());
  ASSERT_TRUE(real);
  EXPECT_GT(real->total, 0U);
  EXPECT_LE(real->available, real->total);
}

TEST(EntryFormatTest, WindowsAliasNames) {
  for (const char* name : {"CON", "con", "nul.txt", "Aux.tar.gz", "COM1", "lpt9.log", "PRN ",
                           "name.", "name ", "nul .txt", "CONOUT$", "com\xB9"})
    EXPECT_TRUE(IsWindowsAliasName(name)) << name;
  for (const char* name :
       {"CONSOLE", "nullify.txt", "COM0", "COM10", "LPT", "a.b", ".hidden", "x.con", "my con"})
    EXPECT_FALSE(IsWindowsAliasName(name)) << name;
}

// Windows would write "a." as "a" and "nul.txt" to the null device: such an archive is refused
// there like an unsafe path. Elsewhere they are ordinary names.
TEST(UnarchiverFailureTest, AliasNamesAreRefusedWhereTheSystemAliasesThem) {
  for (const char* path : {"lib/nul.txt", "bin./java", "COM3"}) {
    Prepared temp("alias");
    const ArchiveReport report =
        Extract(BuildArchive([&](ArchiveWriter& w) { w.AddFile("ok.txt", "fine"); }, nullptr) +
                    EncodeEntryHeader(EntryType::kFile, path, 1) + "x",
                temp);
    // The writer appended no signature block: the archive above ends at its own end.
    if (AliasesOnThisSystem(path)) {
      EXPECT_EQ(report.status, ArchiveStatus::kRejected) << path;
      EXPECT_EQ(report.refusal, Refusal::kUnsafePath);
      ExpectOnlyWhatWasThere(temp);
    } else {
      EXPECT_EQ(report.status, ArchiveStatus::kOk) << path;
    }
  }
#ifdef _WIN32
  EXPECT_TRUE(AliasesOnThisSystem("bin/con"));
#else
  EXPECT_FALSE(AliasesOnThisSystem("bin/con"));
#endif
}

}  // namespace
}  // namespace ferrolan::archive
