// POSIX backend of the file-system toolkit: opendir/readdir listings, unlink/rmdir, getcwd.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <utility>
#include <vector>

#include "fs/file_ops.h"
#include "fs/file_ops_os.h"
#include "fs/path.h"

namespace ferrolan::fs {

struct FolderListing::Impl {
  DIR* dir = nullptr;
};

FolderListing::FolderListing(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FolderListing::~FolderListing() { Close(); }
FolderListing::FolderListing(FolderListing&&) noexcept = default;
FolderListing& FolderListing::operator=(FolderListing&& other) noexcept {
  if (this != &other) {
    Close();
    impl_ = std::move(other.impl_);
  }
  return *this;
}

std::optional<std::string> FolderListing::Next() {
  if (!impl_ || impl_->dir == nullptr) return std::nullopt;
  const dirent* entry = readdir(impl_->dir);
  if (entry == nullptr) return std::nullopt;
  return std::string(entry->d_name);
}

int FolderListing::Close() {
  if (!impl_ || impl_->dir == nullptr) return -1;
  int result = closedir(impl_->dir);
  impl_->dir = nullptr;
  return result == 0 ? 0 : -1;
}

namespace detail {

std::optional<FolderListing> OpenListing(const std::string& path) {
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return std::nullopt;
  auto impl = std::make_unique<FolderListing::Impl>();
  impl->dir = dir;
  return FolderListing(std::move(impl));
}

bool IsFolderLink(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode) && IsFolder(path);
}

bool RemoveFolderLink(const std::string& path) { return unlink(path.c_str()) == 0; }

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool RemoveEmptyFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }

void CopyFileMode(const std::string& source, const std::string& target) {
  struct stat info {};
  if (stat(source.c_str(), &info) == 0) chmod(target.c_str(), info.st_mode & 07777);
}

bool MoveReplacing(const std::string&, const std::string&) {
  // There is no counterpart of MoveFileExA here: the rename already was the system's move.
  errno = ENOSYS;
  return false;
}

std::string WorkingFolder() {
  std::vector<char> buffer(PATH_MAX + 1);
  if (getcwd(buffer.data(), buffer.size()) == nullptr) return std::string();
  return std::string(buffer.data());
}

}  // namespace detail
}  // namespace ferrolan::fs
