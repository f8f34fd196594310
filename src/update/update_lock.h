// The lock that lets one process at a time install updates into a master folder. It is a lock
// of the operating system on a file in the shared-config folder, so it is let go when its
// process ends however it ends, and whoever holds it knows that any update folder left behind
// belongs to an update that died.
//
// Platforms: an exclusive open of the file on Windows; flock on POSIX. Neither follows a link.
#pragma once

#include <memory>
#include <string>

namespace ferrolan::update {

class UpdateLock {
 public:
  /// Takes the lock on the file at `path` (created when missing) without waiting; none when
  /// another process holds it or the file cannot be opened.
  static std::unique_ptr<UpdateLock> TryTake(const std::string& path);
  ~UpdateLock();
  UpdateLock(const UpdateLock&) = delete;
  UpdateLock& operator=(const UpdateLock&) = delete;

  struct Handle;

 private:
  explicit UpdateLock(Handle* handle) : handle_(handle) {}
  Handle* handle_;  // owned; freed by the platform's UnlockFile
};

}  // namespace ferrolan::update
