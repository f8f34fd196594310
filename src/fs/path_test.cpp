#include "fs/path.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

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

}  // namespace
}  // namespace ferrolan::fs
