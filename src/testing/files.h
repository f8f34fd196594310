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

/// Waits up to `seconds` for a file to appear, for files a spawned child writes after the call
/// that started it has returned.
bool WaitForFile(const std::filesystem::path& path, int seconds);

}  // namespace ferrolan::testing
