// Free space on the file system that holds a folder, and the removal of single files and
// empty folders that a writer created itself and has to take back after a failure.
//
// Platforms: GetDiskFreeSpaceExA on Windows (the bytes available to this user), statvfs on
// POSIX (the blocks available to unprivileged users times the fragment size). Removal goes
// through the same backend calls that DeleteFolder uses.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace ferrolan::fs {

/// The size of a file system and the bytes a writer may still use on it.
struct DiskSpace {
  std::uint64_t available = 0;
  std::uint64_t total = 0;
};

/// The space of the file system holding `path` (an existing file or folder); none when the
/// system cannot tell.
std::optional<DiskSpace> QueryDiskSpace(const std::string& path);

/// The free space a writer of unverified data leaves untouched: 5% of the file system or 1 GiB,
/// whichever is less. Filling a disk to the last byte breaks other programs and the log.
std::uint64_t DiskReserve(const DiskSpace& space);

/// Keeps the reserve for a writer that adds to a file piece by piece, such as a download: each
/// piece is allowed only while it leaves the reserve free. The file system is asked once before
/// the first piece and again after every kRecheckBytes allowed, so the writes of other programs
/// count as well, without a query for every small piece.
class ReserveKeeper {
 public:
  using Query = std::function<std::optional<DiskSpace>(const std::string& path)>;
  static constexpr std::uint64_t kRecheckBytes = 1024 * 1024;

  /// `path`: an existing file or folder on the file system that is written to.
  explicit ReserveKeeper(std::string path, Query query = QueryDiskSpace);

  /// True when `bytes` more may be written. A file system that cannot tell its free space is
  /// not held up.
  bool Allows(std::uint64_t bytes);

  /// The space as last asked (none before the first piece, or when the system cannot tell).
  const std::optional<DiskSpace>& space() const { return space_; }

 private:
  std::string path_;
  Query query_;
  bool asked_ = false;
  std::optional<DiskSpace> space_;
  std::uint64_t sinceAsked_ = 0;  // bytes allowed since the space was asked
};

/// Removes one file (a link as itself): true on success.
bool RemoveFile(const std::string& path);

/// Removes one folder if it is empty: true on success. A folder still holding anything stays.
bool RemoveEmptyFolder(const std::string& path);

/// Empties a folder tree (DeleteFolder) and removes the folder itself: true when it is gone.
bool RemoveFolderTree(const std::string& path);

}  // namespace ferrolan::fs
