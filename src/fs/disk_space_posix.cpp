#include <sys/statvfs.h>

#include "fs/disk_space_os.h"

namespace ferrolan::fs::detail {

std::optional<DiskSpace> SystemDiskSpace(const std::string& path) {
  struct statvfs info {};
  if (statvfs(path.c_str(), &info) != 0) return std::nullopt;
  const std::uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
  return DiskSpace{static_cast<std::uint64_t>(info.f_bavail) * unit,
                   static_cast<std::uint64_t>(info.f_blocks) * unit};
}

}  // namespace ferrolan::fs::detail
