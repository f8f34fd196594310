#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "update/update_lock_os.h"

namespace ferrolan::update {

struct UpdateLock::Handle {
  int fd = -1;
};

namespace detail {

UpdateLock::Handle* LockFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return nullptr;
  }
  auto* handle = new UpdateLock::Handle;
  handle->fd = fd;
  return handle;
}

void UnlockFile(UpdateLock::Handle* handle) {
  flock(handle->fd, LOCK_UN);
  close(handle->fd);
  delete handle;
}

}  // namespace detail
}  // namespace ferrolan::update
