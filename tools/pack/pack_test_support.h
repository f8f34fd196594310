// File helpers shared by the packager's tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace ferrolan::pack::test_support {

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

/// Writes `bytes` to `path`, creating its folder and replacing an existing file.
inline void WriteAll(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace ferrolan::pack::test_support
