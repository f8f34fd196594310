// Whole-file helpers for tests: they read and write a file in one call and never throw, so a
// test states what a file holds in one line.
#pragma once

#include <filesystem>
#include <string>

namespace ferrolan::testing {

/// The whole content of a file, empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

/// Writes `bytes` to `path`, creating its folder and replacing an existing file.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

/// A link to a folder for the length of a test: made through the standard library, or where
/// that cannot (Wine) through the host, and removed as itself at the end, so that no run leaves
/// it behind for the next one. Tests that need the link assert made().
class ScopedFolderLink {
 public:
  ScopedFolderLink(const std::filesystem::path& target, std::filesystem::path link);
  ~ScopedFolderLink();
  ScopedFolderLink(const ScopedFolderLink&) = delete;
  ScopedFolderLink& operator=(const ScopedFolderLink&) = delete;
  bool made() const { return made_; }

 private:
  std::filesystem::path link_;
  bool made_ = false;
};

/// True when the test runs as a Windows program under Wine, for the few things Wine cannot do.
bool UnderWine();

/// Waits up to `seconds` for a file to appear, for files a spawned child writes after the call
/// that started it has returned.
bool WaitForFile(const std::filesystem::path& path, int seconds);

}  // namespace ferrolan::testing
