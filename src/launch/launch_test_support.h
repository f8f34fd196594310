// Helpers shared by the launch tests: a temporary folder per test, the captured console, and
// writers for the files the launch reads.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fs/path.h"
#include "log/log.h"

namespace ferrolan::launch::testing {

namespace stdfs = std::filesystem;

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  stdfs::create_directories(stdfs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

/// NUL-terminated fields, the form of the launch file and the LSO file.
inline std::string Fields(const std::vector<std::string>& fields) {
  std::string bytes;
  for (const std::string& field : fields) {
    bytes += field;
    bytes.push_back('\0');
  }
  return bytes;
}

/// The contents of a launch file of `version`; the fields a version lacks are left out.
struct LaunchFileContents {
  int version = 6;
  std::string mainClass = "com.example.Main";
  std::string appName = "DemoApp";
  int jvmMem = 0;
  int jvmStack = 0;
  std::vector<std::string> classpath;
  std::vector<std::string> extraArguments;
  std::string compatibilityClass = "com.example.Compat";
  std::vector<std::string> appJvmOptions;

  std::string Bytes() const {
    std::vector<std::string> f = {std::to_string(version),
                                  mainClass,
                                  "com.example.OnUpdate",
                                  appName,
                                  "icon.icns",
                                  "0",
                                  std::to_string(jvmMem),
                                  std::to_string(jvmStack),
                                  std::to_string(classpath.size())};
    f.insert(f.end(), classpath.begin(), classpath.end());
    f.push_back(std::to_string(extraArguments.size()));
    f.insert(f.end(), extraArguments.begin(), extraArguments.end());
    if (version >= 3) f.push_back(compatibilityClass);
    if (version >= 4) {
      f.push_back("com.example.PostInstall");
      f.push_back("com.example.PreUninstall");
    }
    if (version >= 5) {
      f.push_back(std::to_string(appJvmOptions.size()));
      f.insert(f.end(), appJvmOptions.begin(), appJvmOptions.end());
    }
    if (version >= 6) f.push_back("0");
    return Fields(f);
  }
};

/// A fresh temporary folder named after the running test, and the console captured.
class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = stdfs::temp_directory_path() /
            (std::string("ferrolan-launch-") + info->test_suite_name() + "-" + info->name());
    std::error_code ignored;
    stdfs::remove_all(root_, ignored);
    stdfs::create_directories(root_);
    console_ = std::tmpfile();
    ASSERT_NE(console_, nullptr);
    log::SetConsoleForTesting(console_);
  }
  void TearDown() override {
    log::SetConsoleForTesting(nullptr);
    std::fclose(console_);
    std::error_code ignored;
    stdfs::remove_all(root_, ignored);
  }
  /// root joined with a relative path, in this build's separators.
  std::string Path(const std::string& relative) const {
    std::string path = root_.string();
    fs::PathJoin(path, relative);
    return path;
  }
  std::string Console() {
    std::fflush(console_);
    std::rewind(console_);
    std::string text;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, console_)) > 0) text.append(buffer, got);
    return text;
  }
  bool ConsoleHas(const std::string& text) { return Console().find(text) != std::string::npos; }

  stdfs::path root_;
  std::FILE* console_ = nullptr;
};

/// Waits up to `seconds` for a file to appear (a spawned child writes it after we return).
inline bool WaitForFile(const std::string& path, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    if (stdfs::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return stdfs::exists(path);
}

}  // namespace ferrolan::launch::testing
