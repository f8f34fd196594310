// The update lock's file handle, per platform.
#pragma once

#include <memory>
#include <string>

#include "update/update_lock.h"

namespace ferrolan::update::detail {

/// Opens `path` (created when missing, never through a link) and locks it exclusively without
/// waiting; null when either fails.
UpdateLock::Handle* LockFile(const std::string& path);

/// Lets the lock go, closes the file and frees the handle.
void UnlockFile(UpdateLock::Handle* handle);

}  // namespace ferrolan::update::detail
