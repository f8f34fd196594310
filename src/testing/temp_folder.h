// A fresh folder per test under the machine's temp folder, and the fixtures built on it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/log_capture.h"

namespace ferrolan::testing {

/// A new, empty folder named after the running test's suite and name (and `tag`, for a test that
/// needs several), removed with everything in it when the object goes. Whatever a folder of
/// that name held before is removed first.
class TempFolder {
 public:
  explicit TempFolder(const std::string& tag = "");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& root() const { return root_; }
  /// The folder joined with a relative path written with "/", in this build's separators.
  std::string Path(const std::string& relative = "") const;
  /// Writes `content` to Path(relative), creating the folders on the way; returns that path.
  std::string Write(const std::string& relative, const std::string& content) const;
  /// The packager's archive cache while the folder exists: a folder beside it, removed with it.
  std::string PackCache() const;

 private:
  std::filesystem::path root_;
};

/// A test with its own TempFolder: `root_` and the helpers on it.
class TempFolderTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& relative = "") const { return tempFolder_.Path(relative); }
  std::string Write(const std::string& relative, const std::string& content) const {
    return tempFolder_.Write(relative, content);
  }
  static std::string Read(const std::string& path);

  TempFolder tempFolder_;
  const std::filesystem::path& root_ = tempFolder_.root();
};

/// A TempFolderTest that also captures the log's console. A failed test prints what was logged,
/// which would otherwise have gone to the console.
class LoggedTempFolderTest : public TempFolderTest {
 protected:
  void TearDown() override;

  std::vector<std::string> Lines() const { return log_.Lines(); }
  bool Logged(const std::string& line) const { return log_.Logged(line); }
  int CountStartingWith(const std::string& prefix) const { return log_.CountStartingWith(prefix); }
  std::string Console() const { return log_.Text(); }
  bool ConsoleHas(const std::string& text) const { return log_.Has(text); }

  LogCapture log_;
};

}  // namespace ferrolan::testing
