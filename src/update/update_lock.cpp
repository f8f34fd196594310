#include "update/update_lock.h"

#include "fs/path.h"
#include "update/update_lock_os.h"

namespace ferrolan::update {

std::unique_ptr<UpdateLock> UpdateLock::TryTake(const std::string& path) {
  if (fs::ReachedThroughLink(path)) return nullptr;
  Handle* handle = detail::LockFile(path);
  if (!handle) return nullptr;
  return std::unique_ptr<UpdateLock>(new UpdateLock(handle));
}

UpdateLock::~UpdateLock() { detail::UnlockFile(handle_); }

}  // namespace ferrolan::update
