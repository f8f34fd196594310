#include "fs/path.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "fs/owned_file.h"
#include "testing/temp_folder.h"

namespace ferrolan::fs {
namespace {

// Builds the expected text with this build's separator in place of '|'.
std::string P(std::string text) {
  for (char& c : text)
    if (c == '|') c = PathSeparator();
  return text;
}

TEST(PathTest, JoinNormalisesAndAddsOneSeparator) {
  std::string a = "C:/a/";
  PathJoin(a, "b/c");
  EXPECT_EQ(a, P("C:|a|b|c"));
  std::string b = "C:\\a";
  PathJoin(b, "b");
  EXPECT_EQ(b, P("C:|a|b"));
  std::string c = "x\\";
  PathJoin(c, "y\\z");
  EXPECT_EQ(c, P("x|y|z"));

  std::string out;
  PathJoin4(out, "root", "m", "FLApps", "file");
  EXPECT_EQ(out, P("root|m|FLApps|file"));
  EXPECT_EQ(MasterFolderPath("D", "My App"), P("D|Ferrolan-My App"));
}

TEST(PathTest, PlainFolderNames) {
  EXPECT_TRUE(IsPlainFolderName("jre17"));
  EXPECT_TRUE(IsPlainFolderName("My App 2.0"));
  EXPECT_TRUE(IsPlainFolderName(""));
  EXPECT_FALSE(IsPlainFolderName(".."));
  EXPECT_FALSE(IsPlainFolderName("."));
  EXPECT_FALSE(IsPlainFolderName("a/../b"));
  EXPECT_FALSE(IsPlainFolderName("..\\windows"));
  EXPECT_FALSE(IsPlainFolderName("C:jre"));
}

TEST(PathTest, CreateFolderOneLevelOnly) {
  namespace stdfs = std::filesystem;
  testing::TempFolder temp;
  stdfs::path root = temp.root() / "top";
  std::string top = root.string();
  EXPECT_FALSE(IsFolder(top));
  EXPECT_EQ(CreateFolder(top), 0);
  EXPECT_TRUE(IsFolder(top));
  EXPECT_EQ(CreateFolder(top), 0);  // existing is fine

  std::string deep = top;
  PathJoin(deep, "missing/child");
  EXPECT_EQ(CreateFolder(deep), -1);  // parents are not created

  std::string file = top;
  PathJoin(file, "plain");
  std::FILE* f = std::fopen(file.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_FALSE(IsFolder(file));
  EXPECT_EQ(CreateFolder(file), -1);
}

namespace stdfs = std::filesystem;

// Lifts the link guard when a test ends, whatever happened in it.
struct ScopedGuard {
  explicit ScopedGuard(const std::string& folder) { GuardAgainstLinks(folder); }
  ~ScopedGuard() { GuardAgainstLinks(""); }
};

std::string Slurp(const stdfs::path& path) {
  std::string text;
  if (OwnedFile in = OpenFile(path.string(), "rb")) {
    char buffer[256];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) text.append(buffer, got);
  }
  return text;
}

void Put(const stdfs::path& path, const std::string& text) {
  OwnedFile out(std::fopen(path.string().c_str(), "wb"));
  ASSERT_TRUE(out);
  std::fwrite(text.data(), 1, text.size(), out.get());
}

constexpr const char* kNoLinks = "this system cannot make links";

// A master folder writable by others, with an outside folder holding a canary, and links from
// inside to outside. Wine cannot make links; those tests are skipped there.
class LinkTest : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    stdfs::create_directories(root_ / "master");
    stdfs::create_directories(root_ / "outside");
    Put(root_ / "outside" / "canary", "canary");
  }
  // False when this system cannot make the link; the test is then skipped.
  bool FolderLink(const std::string& name) {
    std::error_code ec;
    stdfs::create_directory_symlink(root_ / "outside", root_ / "master" / name, ec);
    return !ec;
  }
  bool FileLink(const std::string& name, const stdfs::path& to) {
    std::error_code ec;
    stdfs::create_symlink(to, root_ / "master" / name, ec);
    return !ec;
  }
  std::string M(const std::string& relative = "") const { return Path("master/" + relative); }
  std::string Canary() const { return Slurp(root_ / "outside" / "canary"); }
};

TEST_F(LinkTest, LinksAreSeenAndNotUsedAsFolders) {
  if (!FolderLink("linked")) GTEST_SKIP() << kNoLinks;
  EXPECT_TRUE(IsLink(M("linked")));
  EXPECT_TRUE(EntryExists(M("linked")));
  EXPECT_FALSE(IsLink(M()));
  EXPECT_FALSE(IsLink(M("missing")));
  EXPECT_FALSE(EntryExists(M("missing")));
  EXPECT_EQ(CreateFolder(M("linked")), -1);  // a folder link is not our folder
  EXPECT_FALSE(CreateFolderExclusively(M("linked")));
  EXPECT_FALSE(CreateFolderExclusively(M()));
  EXPECT_TRUE(CreateFolderExclusively(M("fresh")));
  EXPECT_FALSE(CreateFolderExclusively(M("fresh")));  // exists now
  // A dangling link still takes its name.
  if (!FileLink("dangling", root_ / "nowhere")) GTEST_SKIP() << kNoLinks;
  EXPECT_TRUE(EntryExists(M("dangling")));
  EXPECT_FALSE(CreateFolderExclusively(M("dangling")));
  EXPECT_FALSE(stdfs::exists(root_ / "nowhere"));
}

TEST_F(LinkTest, GuardRefusesEveryPathThroughALinkBelowTheMasterFolder) {
  if (!FolderLink("logs")) GTEST_SKIP() << kNoLinks;
  // Without the guard only the last component is examined.
  EXPECT_FALSE(ReachedThroughLink(M("logs/file")));
  ScopedGuard guard(M());
  EXPECT_TRUE(ReachedThroughLink(M("logs")));
  EXPECT_TRUE(ReachedThroughLink(M("logs/deeper/file")));
  EXPECT_FALSE(ReachedThroughLink(M("other/file")));
  EXPECT_FALSE(ReachedThroughLink(M()));
  EXPECT_FALSE(ReachedThroughLink(Path("outside/canary")));  // outside the guard: not ours
  EXPECT_FALSE(ReachedThroughLink(M() + "-sibling/file"));
  EXPECT_EQ(CreateFolder(M("logs/sub")), -1);
  EXPECT_FALSE(OpenFile(M("logs/new.log"), "w"));
  EXPECT_FALSE(stdfs::exists(root_ / "outside" / "sub"));
  EXPECT_FALSE(stdfs::exists(root_ / "outside" / "new.log"));
  // Reading is not what the guard is about.
  EXPECT_TRUE(OpenFile(M("logs/canary"), "rb"));
}

TEST_F(LinkTest, GuardCoversTheMasterFolderItself) {
  stdfs::remove(root_ / "master");
  std::error_code ec;
  stdfs::create_directory_symlink(root_ / "outside", root_ / "master", ec);
  if (ec) GTEST_SKIP() << "this system cannot make links: " << ec.message();
  ScopedGuard guard(M());
  EXPECT_TRUE(ReachedThroughLink(M()));
  EXPECT_EQ(CreateFolder(M()), -1);
  EXPECT_EQ(CreateFolder(M("FLAppsSharedConfig")), -1);
  EXPECT_FALSE(CreateFolderExclusively(M("FerrolanTemp-1-2-app")));
  EXPECT_FALSE(OpenFile(M("canary"), "wb"));
  EXPECT_EQ(Canary(), "canary");
  EXPECT_EQ(std::distance(stdfs::directory_iterator(root_ / "outside"), {}), 1);
}

TEST_F(LinkTest, WritingNeverFollowsALinkOrASecondHardLink) {
  if (!FileLink("planted", root_ / "outside" / "canary")) GTEST_SKIP() << kNoLinks;
  for (const char* mode : {"wb", "w", "ab"}) {
    EXPECT_FALSE(OpenFile(M("planted"), mode)) << mode;
    EXPECT_EQ(Canary(), "canary") << mode;
  }
  std::error_code ec;
  stdfs::create_hard_link(root_ / "outside" / "canary", root_ / "master" / "hard", ec);
  if (!ec) {
    EXPECT_FALSE(OpenFile(M("hard"), "wb"));
    EXPECT_EQ(Canary(), "canary");
  }
  // An ordinary file is created, replaced and appended to as fopen would.
  for (const char* mode : {"wb", "wb", "ab"}) {
    OwnedFile out = OpenFile(M("plain"), mode);
    ASSERT_TRUE(out) << mode;
    std::fputs("x", out.get());
  }
  EXPECT_EQ(Slurp(root_ / "master" / "plain"), "xx");
}

}  // namespace
}  // namespace ferrolan::fs
