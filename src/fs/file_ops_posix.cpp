// POSIX backend of the file-system toolkit: opendir/readdir listings, unlink/rmdir, getcwd,
// permission bits.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>
#include <vector>

#include "fs/file_ops.h"
#include "fs/file_ops_os.h"
#include "fs/path.h"

namespace ferrolan::fs {

// The open directory stream, closed with the listing at the latest.
struct FolderListing::Impl {
  DIR* dir = nullptr;
  ~Impl() {
    if (dir != nullptr) closedir(dir);
  }
};

namespace detail {

std::optional<FolderListing> OpenListing(const std::string& path) {
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return std::nullopt;
  FolderListing::ImplPtr impl(new FolderListing::Impl);
  impl->dir = dir;
  return FolderListing(std::move(impl));
}

std::optional<std::string> NextListingEntry(FolderListing::Impl& listing) {
  if (listing.dir == nullptr) return std::nullopt;
  const dirent* entry = readdir(listing.dir);
  if (entry == nullptr) return std::nullopt;
  return std::string(entry->d_name);
}

int CloseListing(FolderListing::Impl& listing) {
  if (listing.dir == nullptr) return -1;
  int result = closedir(std::exchange(listing.dir, nullptr));
  return result == 0 ? 0 : -1;
}

void DestroyListing(FolderListing::Impl* listing) { delete listing; }

bool IsFolderLink(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode) && IsFolder(path);
}

bool RemoveFolderLink(const std::string& path) { return unlink(path.c_str()) == 0; }

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool RemoveEmptyFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }

const char* CopyFileMode(const std::string& source, const std::string& target) {
  struct stat info {};
  if (stat(source.c_str(), &info) != 0) return "stat";
  if (chmod(target.c_str(), info.st_mode & 07777) != 0) return "chmod";
  return nullptr;
}

void MakeExecutable(const std::string& path) { chmod(path.c_str(), 0755); }

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

std::string SystemTempFolder() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir != nullptr && tmpdir[0] == '/') return tmpdir;
  return "/tmp";
}

std::optional<std::int64_t> ModifiedTime(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

bool SetModifiedTime(const std::string& path, std::int64_t time) {
  constexpr std::int64_t kNanos = 1000000000;
  std::int64_t seconds = time / kNanos;
  std::int64_t nanos = time % kNanos;
  if (nanos < 0) nanos += kNanos, --seconds;  // a time before 1970
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // the access time stays
  times[1].tv_sec = static_cast<time_t>(seconds);
  times[1].tv_nsec = static_cast<long>(nanos);
  return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace detail
}  // namespace ferrolan::fs
