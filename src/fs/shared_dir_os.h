// The operating-system half of the shared-directory rules, implemented in shared_dir_win.cpp and
// shared_dir_posix.cpp. Private to the fs library.
#pragma once

#include "fs/shared_dir.h"

namespace ferrolan::fs::detail {

/// The running system's view for the shared-directory rules (see SharedDirSystem).
SharedDirSystem CurrentSystem();

}  // namespace ferrolan::fs::detail
