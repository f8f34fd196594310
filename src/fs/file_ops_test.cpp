#include "fs/file_ops.h"

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>

#include "fs/disk_space.h"
#include "fs/path.h"
#include "testing/files.h"
#include "testing/temp_folder.h"

namespace ferrolan::fs {
namespace {

namespace stdfs = std::filesystem;
using FileOpsTest = testing::LoggedTempFolderTest;

// Content whose bytes depend on their position, so a misplaced chunk is noticed.
std::string Pattern(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return text;
}

TEST_F(FileOpsTest, FileExistsOnlyForFiles) {
  Write("file", "x");
  stdfs::create_directory(Path("folder"));
  EXPECT_EQ(FileExists(Path("file")), 1);
  EXPECT_EQ(FileExists(Path("folder")), 0);
  EXPECT_EQ(FileExists(Path("missing")), 0);
  EXPECT_TRUE(Logged("[Utils] File exists: " + Path("file")));
  EXPECT_TRUE(Logged("[Utils] File does NOT exist: " + Path("folder")));
}

TEST_F(FileOpsTest, ListingYieldsEveryEntryAndEndsOnce) {
  Write("a", "1");
  stdfs::create_directory(Path("b"));
  for (std::string folder : {Path(), Path() + PathSeparator()}) {
    std::optional<FolderListing> listing = OpenFolderListing(folder);
    ASSERT_TRUE(listing.has_value()) << folder;
    std::set<std::string> names;
    while (std::optional<std::string> name = NextFolderEntry(*listing)) names.insert(*name);
    EXPECT_EQ(names, (std::set<std::string>{".", "..", "a", "b"}));
    EXPECT_EQ(CloseFolderListing(*listing), 0);
    EXPECT_EQ(CloseFolderListing(*listing), -1);
    EXPECT_FALSE(NextFolderEntry(*listing).has_value());
  }
  EXPECT_FALSE(OpenFolderListing("").has_value());
  EXPECT_FALSE(OpenFolderListing(Path("missing")).has_value());
  EXPECT_FALSE(OpenFolderListing(Path("a")).has_value());
}

TEST_F(FileOpsTest, CopyFolderCopiesTreeAndSkipsDotNames) {
  stdfs::create_directories(Path("src/sub/deep"));
  stdfs::create_directory(Path("dst"));
  const std::string big = Pattern(123457), exact = Pattern(100000);  // chunk edges
  Write("src/big.bin", big);
  Write("src/sub/exact.bin", exact);
  Write("src/.a", "skipped");
  Write("src/.ab", "copied");
  stdfs::permissions(Path("src/big.bin"), stdfs::perms::owner_exec, stdfs::perm_options::add);
  EXPECT_EQ(CopyFolder(Path("src"), Path("dst")), 0);
  EXPECT_EQ(stdfs::status(Path("dst/big.bin")).permissions(),
            stdfs::status(Path("src/big.bin")).permissions());  // programs stay executable
  EXPECT_EQ(Read(Path("dst/big.bin")), big);
  EXPECT_EQ(Read(Path("dst/sub/exact.bin")), exact);
  EXPECT_TRUE(stdfs::is_directory(Path("dst/sub/deep")));
  EXPECT_EQ(Read(Path("dst/.ab")), "copied");
  EXPECT_FALSE(stdfs::exists(Path("dst/.a")));
  EXPECT_TRUE(Logged("[CopyFolder] Copying DIR " + Path("dst/sub")));
  EXPECT_TRUE(Logged("[CopyFolder] Copying FILE " + Path("dst/big.bin")));
}

TEST_F(FileOpsTest, CopyFolderFailures) {
  EXPECT_EQ(CopyFolder(Path("missing"), Path()), 1);
  EXPECT_TRUE(Logged("[CopyFolder] SourceDir from '" + Path("missing") + "' is NULL"));
  // A file in the way of a sub-folder: the folder cannot be created.
  stdfs::create_directories(Path("src/sub"));
  stdfs::create_directory(Path("dst"));
  Write("dst/sub", "in the way");
  EXPECT_EQ(CopyFolder(Path("src"), Path("dst")), -1);
  EXPECT_TRUE(Logged("[CopyFolder] *************************** Failed to copy " + Path("src/sub") +
                     " to " + Path("dst/sub") + " (could not create target folder)"));
  // A folder in the way of a file one level down: the failure travels up as 1.
  stdfs::remove(Path("dst/sub"));
  stdfs::create_directories(Path("dst/sub/f"));
  Write("src/sub/f", "data");
  EXPECT_EQ(CopyFolder(Path("src"), Path("dst")), 1);
  EXPECT_TRUE(
      Logged("[CopyFolder] *************************** Unable to open destination file for copy " +
             Path("dst/sub/f")));
}

TEST_F(FileOpsTest, DeleteFolderEmptiesTreeKeepsTopAndDoesNotFollowLinks) {
  stdfs::create_directories(Path("top/sub/deep"));
  Write("top/f", "1");
  Write("top/sub/deep/g", "2");
  stdfs::create_directory(Path("outside"));
  Write("outside/keep", "keep");
  const ferrolan::testing::ScopedFolderLink link(Path("outside"), Path("top/link"));
  ASSERT_TRUE(link.made());
  EXPECT_EQ(DeleteFolder(Path("top")), 0);
  EXPECT_TRUE(stdfs::is_directory(Path("top")));
  // Wine cannot remove a host's link to a folder, which a real system removes as itself; what
  // counts everywhere is that nothing behind it was touched.
  for (const auto& left : stdfs::directory_iterator(Path("top"))) {
    EXPECT_TRUE(ferrolan::testing::UnderWine()) << left.path();
    EXPECT_EQ(left.path().filename(), "link");
  }
  EXPECT_EQ(Read(Path("outside/keep")), "keep");
  EXPECT_TRUE(stdfs::is_directory(Path("outside")));
  EXPECT_TRUE(Logged("Deleting DIR " + Path("top/sub")));
  EXPECT_TRUE(Logged("Deleting FILE " + Path("top/sub/deep/g")));
  EXPECT_EQ(DeleteFolder(Path("missing")), 1);
  EXPECT_TRUE(Logged("[DeleteFolder] Deleting from '" + Path("missing") + "' is NULL"));
}

// A link planted where the walks would write or delete: its target is never touched.
TEST_F(FileOpsTest, LinksAreNeitherEmptiedNorWrittenThroughNorRenamedOver) {
  stdfs::create_directory(Path("outside"));
  Write("outside/keep", "keep");
  stdfs::create_directories(Path("src/sub"));
  Write("src/keep", "new");
  Write("src/sub/g", "g");
  std::error_code ec;
  stdfs::create_directory_symlink(Path("outside"), Path("linked"), ec);
  if (ec) GTEST_SKIP() << "this system cannot make links: " << ec.message();

  EXPECT_EQ(DeleteFolder(Path("linked")), 1);
  EXPECT_TRUE(Logged("[DeleteFolder] Not deleting from '" + Path("linked") +
                     "': it is reached through a link"));
  EXPECT_EQ(CopyFolder(Path("src"), Path("linked")), -1);
  stdfs::create_directory(Path("dst"));
  stdfs::create_symlink(Path("outside/keep"), Path("dst/keep"));
  stdfs::create_directory_symlink(Path("outside"), Path("dst/sub"));
  EXPECT_NE(CopyFolder(Path("src"), Path("dst")), 0);
  EXPECT_EQ(Read(Path("outside/keep")), "keep");
  EXPECT_FALSE(stdfs::exists(Path("outside/g")));

  // A link at the rename's target is removed as itself; the folder moves into its place.
  RenameWithFallbacks(Path("src"), Path("linked"));
  EXPECT_FALSE(stdfs::is_symlink(Path("linked")));
  EXPECT_EQ(Read(Path("linked/keep")), "new");
  EXPECT_EQ(Read(Path("outside/keep")), "keep");
  EXPECT_EQ(std::distance(stdfs::directory_iterator(Path("outside")), {}), 1);
  // A link as the source is not moved: whatever it points to is not ours to install.
  stdfs::create_directory_symlink(Path("outside"), Path("from"));
  RenameWithFallbacks(Path("from"), Path("to"));
  EXPECT_TRUE(Logged("[Rename] [FAIL] Not renaming '" + Path("from") + "' to '" + Path("to") +
                     "': a link is on the way"));
  EXPECT_FALSE(stdfs::exists(Path("to")));
}

// What the launcher asks of the system instead of std::filesystem: a copy can take its
// source's modification time (a second start then knows it without reading both files), and
// the current and temporary folders are real folders.
TEST_F(FileOpsTest, ModificationTimesCarryOverAndTheSystemFoldersExist) {
  const std::string source = Write("source", "launcher");
  const std::string copy = Write("copy", "launcher");
  const std::optional<std::int64_t> sourceTime = ModifiedTime(source);
  ASSERT_TRUE(sourceTime.has_value());
  ASSERT_TRUE(SetModifiedTime(copy, *sourceTime - 12345678900));
  EXPECT_NE(ModifiedTime(copy), sourceTime);
  ASSERT_TRUE(SetModifiedTime(copy, *sourceTime));
  EXPECT_EQ(ModifiedTime(copy), sourceTime);
  EXPECT_EQ(stdfs::last_write_time(copy), stdfs::last_write_time(source));
  EXPECT_FALSE(ModifiedTime(Path("missing")).has_value());
  EXPECT_FALSE(SetModifiedTime(Path("missing"), *sourceTime));

  EXPECT_TRUE(stdfs::equivalent(CurrentFolder(), stdfs::current_path()));
  EXPECT_TRUE(stdfs::is_directory(TempFolderPath()));
}

TEST_F(FileOpsTest, CopyStreamToFileLeavesTheStreamToTheCaller) {
  const std::string data = Pattern(150001);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> source(std::tmpfile(), &std::fclose);
  ASSERT_NE(source, nullptr);
  std::fwrite(data.data(), 1, data.size(), source.get());
  std::fseek(source.get(), 1, SEEK_SET);
  EXPECT_TRUE(CopyStreamToFile(Path("out"), source.get()));
  EXPECT_EQ(Read(Path("out")), data.substr(1));
  EXPECT_EQ(std::fseek(source.get(), 0, SEEK_SET), 0);  // still open
  EXPECT_FALSE(CopyStreamToFile(Path("missing/out"), source.get()));
  EXPECT_TRUE(
      Logged("[Extractor] *************************** Unable to open destination file for copy " +
             Path("missing/out")));
}

TEST_F(FileOpsTest, CopyPermissionsKeepsProgramsRunnableAndReportsAMissingSource) {
  Write("program", "#!/bin/sh\n");
  Write("copy", "#!/bin/sh\n");
  MakeExecutable(Path("program"));
  EXPECT_TRUE(CopyPermissions(Path("program"), Path("copy")));
  EXPECT_EQ(stdfs::status(Path("copy")).permissions(),
            stdfs::status(Path("program")).permissions());
  EXPECT_EQ(CountStartingWith("[Extractor]"), 0);
  if (PathSeparator() == '/') {
    EXPECT_NE(stdfs::status(Path("copy")).permissions() & stdfs::perms::others_exec,
              stdfs::perms::none);
    // Windows has no mode bits to copy, so only POSIX can fail here.
    EXPECT_FALSE(CopyPermissions(Path("missing"), Path("copy")));
    EXPECT_EQ(CountStartingWith("[Extractor] stat failed with error"), 1);
  }
}

TEST_F(FileOpsTest, RenameMovesFolderAndReplacesAnExistingTarget) {
  stdfs::create_directories(Path("from/sub"));
  Write("from/sub/new", "new");
  stdfs::create_directories(Path("to/old"));
  RenameWithFallbacks(Path("from"), Path("to"));
  EXPECT_FALSE(stdfs::exists(Path("from")));
  EXPECT_EQ(Read(Path("to/sub/new")), "new");
  EXPECT_FALSE(stdfs::exists(Path("to/old")));  // no stale entries mixed in
  EXPECT_EQ(Lines().front().rfind("[Extractor] Working dir is '", 0), 0u);
  // The old folder is moved aside in one step and deleted only after the new one is in place,
  // so the name never holds a half-deleted folder; nothing of it is left afterwards.
  EXPECT_TRUE(ConsoleHas("[Rename] The target already exists. Moved it aside to "));
  EXPECT_TRUE(Logged("[Rename] File '" + Path("from") + "' renamed to '" + Path("to") + "'"));
  EXPECT_EQ(std::distance(stdfs::directory_iterator(root_), stdfs::directory_iterator()), 1);
}

// Drives the retry loop without the real sleeps, counting what was asked for.
struct FakeSteps {
  int renames = 0, moves = 0, failingRenames = 0;
  bool moveWorks = false;
  std::vector<unsigned> sleeps;
  RenameSteps Steps() {
    RenameSteps steps;
    steps.rename = [this](const std::string& from, const std::string& to) {
      if (++renames > failingRenames) return std::rename(from.c_str(), to.c_str());
      errno = EACCES;
      return -1;
    };
    steps.moveReplacing = [this](const std::string& from, const std::string& to) {
      ++moves;
      errno = EACCES;
      return moveWorks && std::rename(from.c_str(), to.c_str()) == 0;
    };
    steps.sleep = [this](unsigned ms) { sleeps.push_back(ms); };
    return steps;
  }
};

TEST_F(FileOpsTest, RenameThatAlwaysFailsFallsBackToCopy) {
  stdfs::create_directories(Path("from/sub"));
  Write("from/sub/f", "data");
  FakeSteps fake;
  fake.failingRenames = 1000;
  RenameWithFallbacks(Path("from"), Path("to"), fake.Steps());
  EXPECT_EQ(fake.renames, 11);
  EXPECT_EQ(fake.moves, 10);
  ASSERT_EQ(fake.sleeps.size(), 20u);
  EXPECT_EQ(fake.sleeps[0] + fake.sleeps[1], 350u);
  const std::string paths =
      "'" + Path("from") + "' to '" + Path("to") + "' [" + std::to_string(EACCES) + "]";
  EXPECT_EQ(CountStartingWith("[Rename] Could not rename " + paths), 10);
  EXPECT_EQ(CountStartingWith("[Extractor] MoveFileEx failed with error "), 10);
  EXPECT_TRUE(Logged("[Rename] [FAIL] Could not rename " + paths));
  EXPECT_TRUE(Logged("[Rename] Can do no better than a copy on this filesystem"));
  EXPECT_TRUE(Logged("[Rename] Created folder " + Path("to")));
  EXPECT_EQ(Lines().back(), "[Rename] Copied " + Path("from") + " to " + Path("to"));
  EXPECT_EQ(Read(Path("to/sub/f")), "data");
  EXPECT_EQ(Read(Path("from/sub/f")), "data");  // the source stays in place
}

TEST_F(FileOpsTest, RenameRescuedByMoveOrByALaterRetry) {
  stdfs::create_directory(Path("a"));
  FakeSteps byMove;
  byMove.failingRenames = 1;
  byMove.moveWorks = true;
  RenameWithFallbacks(Path("a"), Path("b"), byMove.Steps());
  std::vector<std::string> lines = Lines();
  EXPECT_EQ(lines[lines.size() - 2], "[Rename] MoveFileEx worked. Assuming success.");
  EXPECT_EQ(lines.back(), "[Rename] File '" + Path("a") + "' renamed to '" + Path("b") + "'");

  FakeSteps byRetry;
  byRetry.failingRenames = 3;
  RenameWithFallbacks(Path("b"), Path("c"), byRetry.Steps());
  EXPECT_EQ(byRetry.moves, 3);
  EXPECT_EQ(Lines().back(), "[Rename] File '" + Path("b") + "' renamed to '" + Path("c") + "'");
  EXPECT_TRUE(stdfs::is_directory(Path("c")));
}

TEST_F(FileOpsTest, DiskSpaceOfAFileIsThatOfItsFolder) {
  Write("file", "x");
  const std::optional<DiskSpace> folder = QueryDiskSpace(root_.string());
  const std::optional<DiskSpace> file = QueryDiskSpace(Path("file"));
  ASSERT_TRUE(folder);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->total, folder->total);
  EXPECT_GT(file->available, 0U);
}

TEST(ReserveKeeperTest, AllowsPiecesWhileTheReserveStaysFreeAndAsksAgainAsItGoes) {
  constexpr std::uint64_t kMiB = 1024 * 1024;
  // 100 MiB disk: 5 MiB reserve. 7 MiB free leaves 2 MiB to write.
  std::uint64_t available = 7 * kMiB;
  int queries = 0;
  ReserveKeeper keeper("/target", [&](const std::string& path) {
    EXPECT_EQ(path, "/target");
    ++queries;
    return std::optional<DiskSpace>(DiskSpace{available, 100 * kMiB});
  });
  EXPECT_TRUE(keeper.Allows(kMiB));
  EXPECT_EQ(queries, 1);
  // A full recheck interval was allowed, so the next piece asks again: another writer has
  // taken all but 5.5 MiB meanwhile, which leaves room for half a MiB only.
  available = 5 * kMiB + kMiB / 2;
  EXPECT_FALSE(keeper.Allows(kMiB));
  EXPECT_EQ(queries, 2);
  EXPECT_TRUE(keeper.Allows(kMiB / 2));
  EXPECT_FALSE(keeper.Allows(1));  // counted without asking: the reserve is reached
  EXPECT_EQ(queries, 2);

  // A file system that cannot tell is not held up.
  ReserveKeeper unknown("/x", [](const std::string&) { return std::optional<DiskSpace>(); });
  EXPECT_TRUE(unknown.Allows(100 * kMiB));
  // Less free than the reserve: nothing at all.
  ReserveKeeper full("/x", [](const std::string&) {
    return std::optional<DiskSpace>(DiskSpace{kMiB, 100 * kMiB});
  });
  EXPECT_FALSE(full.Allows(1));
}

}  // namespace
}  // namespace ferrolan::fs
