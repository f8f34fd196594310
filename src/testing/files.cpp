#include "testing/files.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>
#include <utility>

#include "testing/files_os.h"

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

ScopedFolderLink::ScopedFolderLink(const stdfs::path& target, stdfs::path link)
    : link_(std::move(link)) {
  std::error_code error;
  stdfs::create_directory_symlink(target, link_, error);
  made_ = !error || detail::MakeHostFolderLink(target, link_);
}

ScopedFolderLink::~ScopedFolderLink() {
  std::error_code error;
  const stdfs::file_status status = stdfs::symlink_status(link_, error);
  if (error || !stdfs::exists(status)) return;  // gone already: the code under test removed it
  if (!stdfs::remove(link_, error) || error) detail::RemoveHostLink(link_);
}

bool UnderWine() { return detail::UnderWine(); }

bool WaitForFile(const stdfs::path& path, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    if (stdfs::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return stdfs::exists(path);
}

}  // namespace ferrolan::testing
