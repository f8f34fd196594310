#include "fs/disk_space.h"

#include <algorithm>
#include <utility>

#include "fs/disk_space_os.h"
#include "fs/file_ops.h"
#include "fs/file_ops_os.h"
#include "fs/path.h"

namespace ferrolan::fs {

std::optional<DiskSpace> QueryDiskSpace(const std::string& path) {
  if (path.empty()) return std::nullopt;
  return detail::SystemDiskSpace(path);
}

std::uint64_t DiskReserve(const DiskSpace& space) {
  constexpr std::uint64_t kGiB = 1024ULL * 1024 * 1024;
  return std::min<std::uint64_t>(space.total / 20, kGiB);
}

ReserveKeeper::ReserveKeeper(std::string path, Query query)
    : path_(std::move(path)), query_(std::move(query)) {}

bool ReserveKeeper::Allows(std::uint64_t bytes) {
  if (!asked_ || sinceAsked_ >= kRecheckBytes) {
    space_ = query_(path_);
    asked_ = true;
    sinceAsked_ = 0;
  }
  if (!space_) return true;
  const std::uint64_t reserve = DiskReserve(*space_);
  const std::uint64_t used = reserve + sinceAsked_;
  if (space_->available < used || space_->available - used < bytes) return false;
  sinceAsked_ += bytes;
  return true;
}

bool RemoveFile(const std::string& path) { return detail::RemoveFile(path); }

bool RemoveEmptyFolder(const std::string& path) { return detail::RemoveEmptyFolder(path); }

bool RemoveFolderTree(const std::string& path) {
  if (!IsFolder(path)) return false;
  DeleteFolder(path);
  return detail::RemoveEmptyFolder(path);
}

}  // namespace ferrolan::fs
