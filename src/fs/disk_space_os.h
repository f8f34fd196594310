// The operating-system piece of disk_space.cpp, implemented in disk_space_win.cpp and
// disk_space_posix.cpp. Private to the fs library.
#pragma once

#include <optional>
#include <string>

#include "fs/disk_space.h"

namespace ferrolan::fs::detail {

/// GetDiskFreeSpaceExA / statvfs on `path`; none when the call fails.
std::optional<DiskSpace> SystemDiskSpace(const std::string& path);

}  // namespace ferrolan::fs::detail
