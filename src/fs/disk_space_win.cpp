#include <string>

#include "fs/disk_space_os.h"
#include "os/windows.h"

namespace ferrolan::fs::detail {
namespace {

bool FreeSpace(const std::string& folder, ULARGE_INTEGER& available, ULARGE_INTEGER& total) {
  return GetDiskFreeSpaceExA(folder.c_str(), &available, &total, nullptr) != 0;
}

// The folder that holds a file, with its trailing separator; the current folder for a bare name.
std::string HoldingFolder(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string(".\\") : path.substr(0, cut + 1);
}

}  // namespace

std::optional<DiskSpace> SystemDiskSpace(const std::string& path) {
  ULARGE_INTEGER available{};
  ULARGE_INTEGER total{};
  // GetDiskFreeSpaceExA answers for folders only: a file is asked for by its folder.
  if (!FreeSpace(path, available, total) && !FreeSpace(HoldingFolder(path), available, total)) {
    return std::nullopt;
  }
  return DiskSpace{available.QuadPart, total.QuadPart};
}

}  // namespace ferrolan::fs::detail
