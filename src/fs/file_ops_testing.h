// Test support shared by the fs and launch tests: a fresh temp folder per test and the log
// lines the test wrote, without their timing prefix. Header-only; tests include it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fs/path.h"
#include "log/log.h"

namespace ferrolan::fs::testing {

/// The whole content of a file, empty when it cannot be read.
inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            (std::string("ferrolan-") +
             ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
    console_ = std::tmpfile();
    ASSERT_NE(console_, nullptr);
    log::SetConsoleForTesting(console_);
  }
  void TearDown() override {
    log::SetConsoleForTesting(nullptr);
    std::fclose(console_);
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  /// The temp folder joined with a relative path written with "/".
  std::string Path(const std::string& relative = "") const {
    std::string path = root_.string();
    if (!relative.empty()) PathJoin(path, relative);
    return path;
  }
  std::string Write(const std::string& relative, const std::string& content) const {
    std::ofstream(Path(relative), std::ios::binary) << content;
    return Path(relative);
  }
  static std::string Read(const std::string& path) { return ReadWholeFile(path); }

  /// Every message logged so far, without the "+N " prefix and the line break.
  std::vector<std::string> Lines() {
    std::fflush(console_);
    std::rewind(console_);
    std::vector<std::string> lines;
    char buffer[8192];
    while (std::fgets(buffer, sizeof buffer, console_) != nullptr) {
      std::string line(buffer);
      if (!line.empty() && line.back() == '\n') line.pop_back();
      std::size_t text = line.find_first_not_of(' ', line.find(' '));
      lines.push_back(text == std::string::npos ? std::string() : line.substr(text));
    }
    std::fseek(console_, 0, SEEK_END);
    return lines;
  }
  bool Logged(const std::string& line) {
    std::vector<std::string> lines = Lines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  int CountStartingWith(const std::string& prefix) {
    std::vector<std::string> lines = Lines();
    return static_cast<int>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
  }

  std::filesystem::path root_;
  std::FILE* console_ = nullptr;
};

}  // namespace ferrolan::fs::testing
