#include "fs/disk_space_os.h"
#include "os/windows.h"

namespace ferrolan::fs::detail {

std::optional<DiskSpace> SystemDiskSpace(const std::string& path) {
  ULARGE_INTEGER available{};
  ULARGE_INTEGER total{};
  if (!GetDiskFreeSpaceExA(path.c_str(), &available, &total, nullptr)) return std::nullopt;
  return DiskSpace{available.QuadPart, total.QuadPart};
}

}  // namespace ferrolan::fs::detail
