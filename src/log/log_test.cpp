#include "log/log.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fs/path.h"
#include "testing/temp_folder.h"

namespace ferrolan::log {
namespace {

std::uint64_t g_now = 0;
std::uint64_t FakeClock() { return g_now; }

std::string ReadAll(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Captures the console stream and drives the clock by hand.
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    console_ = std::tmpfile();
    ASSERT_NE(console_, nullptr);
    SetConsoleForTesting(console_);
    SetClockForTesting(&FakeClock);
    ResetTimingForTesting();
    g_now = 5000;
  }
  void TearDown() override {
    LogClose();
    SetConsoleForTesting(nullptr);
    SetClockForTesting(nullptr);
    ResetTimingForTesting();
    std::fclose(console_);
  }
  std::string Console() { return ReadAll(console_); }
  std::FILE* console_ = nullptr;
};

TEST_F(LogTest, PrefixIsDeltaSinceThePreviousMessage) {
  LogPrintf("[T] first\n");
  g_now += 1234;
  LogPrintf("[T] second %d\n", 2);
  g_now += 123456789;
  LogPrintf("[T] third\n");
  std::vector<std::string> lines = Lines(Console());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "+0        [T] first");
  EXPECT_EQ(lines[1], "+1234     [T] second 2");
  EXPECT_EQ(lines[2], "+123456789 [T] third");  // wider than the field: not cut
}

TEST_F(LogTest, ErrorAndPhaseBanners) {
  LogError("[T] broken %s\n", "thing");
  LogStart("Launching");
  LogEnd("JNI Launch");
  std::vector<std::string> lines = Lines(Console());
  ASSERT_EQ(lines.size(), 9u);
  const std::string stars(43, '*'), plus(48, '+'), dash(48, '-');
  EXPECT_EQ(lines[0], "+0        " + stars);
  EXPECT_EQ(lines[1], "+0        [T] broken thing");
  EXPECT_EQ(lines[2], "+0        " + stars);
  EXPECT_EQ(lines[3], "+0        " + plus);
  EXPECT_EQ(lines[4], "+0        +++ Start: Launching");
  EXPECT_EQ(lines[5], "+0        " + plus);
  EXPECT_EQ(lines[6], "+0        " + dash);
  EXPECT_EQ(lines[7], "+0        --- End: JNI Launch");
  EXPECT_EQ(lines[8], "+0        " + dash);
}

TEST_F(LogTest, SystemErrorNamesTagOperationAndCode) {
  // Provoke a real failure so the last error is the system's own.
  EXPECT_EQ(std::fopen("ferrolan-no-such-dir/none/file", "rb"), nullptr);
  LogSystemError("Extractor", "MoveFileEx");
  std::string text = Console();
  EXPECT_EQ(text.rfind("+0        [Extractor] MoveFileEx failed with error ", 0), 0u) << text;
}

TEST(LogFileNameTest, FollowsTheTimeStampPattern) {
  EXPECT_EQ(LogFileName(2024, 3, 5, 14, 7, 9, 42), "Wrapper-2024-03-05-14-07-09-042.log");
  EXPECT_EQ(LogFileName(1999, 12, 31, 23, 59, 59, 999), "Wrapper-1999-12-31-23-59-59-999.log");
}

TEST_F(LogTest, FileReceivesMessagesUntilClosed) {
  namespace stdfs = std::filesystem;
  testing::TempFolder temp;
  const stdfs::path& shared = temp.root();

  std::string path = LogOpen(shared.string(), "Demo App");
  stdfs::path logs = shared / "Ferrolan-Demo App" / "logs";
  ASSERT_TRUE(stdfs::is_directory(logs));
  std::string name = stdfs::path(path).filename().string();
  EXPECT_EQ(name.rfind("Wrapper-", 0), 0u);
  EXPECT_EQ(name.size(), std::string("Wrapper-2024-03-05-14-07-09-042.log").size());
  EXPECT_EQ(stdfs::path(path).parent_path(), logs);

  LogPrintf("[T] into the file\n");
  LogClose();
  LogPrintf("[T] console only\n");

  std::stringstream file;
  {
    std::ifstream in(path);
    file << in.rdbuf();
  }
  std::vector<std::string> fileLines = Lines(file.str());
  ASSERT_EQ(fileLines.size(), 2u) << file.str();
  EXPECT_NE(fileLines[0].find("[T] into the file"), std::string::npos);
  EXPECT_NE(fileLines[1].find("[Utils] Closing logging file."), std::string::npos);

  std::string console = Console();
  // The open messages reach the console only; the file starts after them.
  EXPECT_NE(console.find("[Extractor] Logging to " + path), std::string::npos);
  EXPECT_NE(console.find("[Extractor] Opening the file for writing returned 0"), std::string::npos);
  EXPECT_NE(console.find("[T] console only"), std::string::npos);
}

TEST_F(LogTest, UnopenableFileKeepsLoggingToConsole) {
  namespace stdfs = std::filesystem;
  testing::TempFolder temp;
  stdfs::path missing = temp.root() / "missing" / "deeper";
  LogOpen(missing.string(), "X");  // the shared dir's parent is missing: nothing is created
  LogPrintf("[T] still here\n");
  std::string console = Console();
  EXPECT_EQ(console.find("returned 0"), std::string::npos);
  // The C runtime's number on both systems: the folder does not exist.
  EXPECT_NE(console.find("[Extractor] Opening the file for writing returned " +
                         std::to_string(ENOENT) + "\n"),
            std::string::npos)
      << console;
  EXPECT_NE(console.find("[T] still here"), std::string::npos);
}

TEST_F(LogTest, LinkedLogsFolderOrMasterFolderIsNotLoggedInto) {
  namespace stdfs = std::filesystem;
  testing::TempFolder temp;
  const stdfs::path outside = temp.root() / "outside";
  stdfs::create_directories(outside);
  stdfs::create_directories(temp.root() / "Ferrolan-X");
  std::error_code ec;
  stdfs::create_directory_symlink(outside, temp.root() / "Ferrolan-X" / "logs", ec);
  if (ec) GTEST_SKIP() << "this system cannot make links: " << ec.message();
  stdfs::create_directory_symlink(outside, temp.root() / "Ferrolan-Y", ec);
  // A linked "logs" is replaced by a folder of ours; a linked master folder is not used at all.
  const std::string path = LogOpen(temp.root().string(), "X");
  LogClose();
  EXPECT_FALSE(stdfs::is_symlink(temp.root() / "Ferrolan-X" / "logs"));
  EXPECT_TRUE(stdfs::is_regular_file(path));
  LogOpen(temp.root().string(), "Y");
  LogPrintf("[T] not into a link\n");
  LogClose();
  fs::GuardAgainstLinks("");
  EXPECT_TRUE(stdfs::is_empty(outside));
  const std::string console = Console();
  const std::size_t opened = console.find("returned 0");
  ASSERT_NE(opened, std::string::npos) << console;                                  // X
  EXPECT_EQ(console.find("returned 0", opened + 1), std::string::npos) << console;  // not Y
}

TEST(EndProcessTest, FlushesAndExitsWithTheCode) {
  EXPECT_EXIT(
      {
        LogPrintf("[T] last words\n");
        EndProcess(7);
      },
      ::testing::ExitedWithCode(7), "");
}

}  // namespace
}  // namespace ferrolan::log
