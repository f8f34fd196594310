#include "testing/files.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

namespace ferrolan::testing {

namespace stdfs = std::filesystem;

std::string ReadFile(const stdfs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const stdfs::path& path, const std::string& bytes) {
  std::error_code ignored;
  if (path.has_parent_path()) stdfs::create_directories(path.parent_path(), ignored);
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool WaitForFile(const stdfs::path& path, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    if (stdfs::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return stdfs::exists(path);
}

}  // namespace ferrolan::testing
