// POSIX folder primitives.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "fs/path_os.h"

namespace ferrolan::fs::detail {

char PathSeparator() { return '/'; }

bool IsFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool EntryExists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

bool IsLink(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool RemoveLink(const std::string& path) { return unlink(path.c_str()) == 0; }

void SetLinkRefused() { errno = ELOOP; }

std::FILE* OpenForWritingNoFollow(const std::string& path, const char* mode) {
  // O_NOFOLLOW makes the kernel refuse a link at the last component in the same step that
  // opens the file, so a link planted between a check and the open cannot be followed.
  // The file is emptied only after it has proved to be ours alone: truncating on open would
  // already have destroyed the content of a file planted as a second hard link.
  const bool append = mode[0] == 'a';
  const int flags =
      O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | (append ? O_APPEND : 0);
  const int fd = open(path.c_str(), flags, 0666);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink > 1 ||
      (!append && ftruncate(fd, 0) != 0)) {
    const int error = S_ISREG(info.st_mode) && info.st_nlink > 1 ? EMLINK : EINVAL;
    close(fd);
    errno = error;
    return nullptr;
  }
  std::FILE* file = fdopen(fd, mode);
  if (file == nullptr) {
    const int error = errno;
    close(fd);
    errno = error;
  }
  return file;
}

bool MakeFolder(const std::string& path) { return mkdir(path.c_str(), 0755) == 0; }

}  // namespace ferrolan::fs::detail
