// Free space on the file system that holds a folder, and the removal of single files and
// empty folders that a writer created itself and has to take back after a failure.
//
// Platforms: GetDiskFreeSpaceExA on Windows (the bytes available to this user), statvfs on
// POSIX (the blocks available to unprivileged users times the fragment size). Removal goes
// through the same backend calls that DeleteFolder uses.
#pragma once

#include <cstdint>
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

/// Removes one file (a link as itself): true on success.
bool RemoveFile(const std::string& path);

/// Removes one folder if it is empty: true on success. A folder still holding anything stays.
bool RemoveEmptyFolder(const std::string& path);

/// Empties a folder tree (DeleteFolder) and removes the folder itself: true when it is gone.
bool RemoveFolderTree(const std::string& path);

}  // namespace ferrolan::fs
