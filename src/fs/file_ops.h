// The file-system toolkit the rest of the launcher uses: testing for a file, listing a folder,
// copying and emptying folder trees, copying an open stream into a file, and the rename with
// fallbacks that moves a freshly extracted folder into its final place. Paths are 8-bit strings
// joined with PathJoin (fs/path.h). Every operation logs what it does; none ends the process.
//
// Platforms: listings use FindFirstFileA/FindNextFileA on Windows and opendir/readdir on POSIX;
// both include "." and "..". The rename's second attempt is MoveFileExA on Windows; POSIX has no
// such call, so that step always fails (logged as a system error) and the copy fallback runs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace ferrolan::fs {

/// 1 when the path can be opened for binary reading as a file, else 0. A folder gives 0.
/// Logs "[Utils] File exists: ..." or "[Utils] File does NOT exist: ...".
int FileExists(const std::string& path);

/// An open listing of one folder. The search is ended when the object is destroyed or
/// CloseFolderListing is called, whichever comes first.
class FolderListing {
 public:
  struct Impl;  // the platform's search state, defined by the backend
  struct ImplDeleter {
    void operator()(Impl* impl) const;
  };
  using ImplPtr = std::unique_ptr<Impl, ImplDeleter>;
  explicit FolderListing(ImplPtr impl);
  ~FolderListing();
  FolderListing(FolderListing&&) noexcept;
  FolderListing& operator=(FolderListing&&) noexcept;
  FolderListing(const FolderListing&) = delete;
  FolderListing& operator=(const FolderListing&) = delete;

  /// The next entry's name in the file system's order, or none at the end.
  std::optional<std::string> Next();
  /// Ends the search: 0, or -1 when it was already ended or the system refused.
  int Close();

 private:
  ImplPtr impl_;
};

/// Opens a listing of a folder; none when the path is empty or missing, or is not a folder that
/// can be searched.
std::optional<FolderListing> OpenFolderListing(const std::string& path);
/// The first entry on the first call, the following ones after; none at the end.
std::optional<std::string> NextFolderEntry(FolderListing& listing);
/// Ends the search early: 0 or -1.
int CloseFolderListing(FolderListing& listing);

/// Copies the tree under source into target (which must exist), stopping at the first failure.
/// 0 on success; 1 when a file or the source cannot be read or a file cannot be written; -1 when
/// a target sub-folder cannot be created. Entries named "." plus at most one character are
/// skipped.
int CopyFolder(const std::string& source, const std::string& target);

/// Empties a folder tree and keeps the folder itself. 1 when the folder cannot be listed, else
/// 0; single entries that cannot be removed are logged and skipped. A link or junction to a
/// folder is removed as itself and never followed, so nothing outside the tree is touched.
int DeleteFolder(const std::string& path);

/// Copies the rest of an open stream into a new file at path (replacing it). The stream stays
/// owned by the caller in every case and is not closed here. Returns true when every byte
/// reached the file.
bool CopyStreamToFile(const std::string& path, std::FILE* source);

/// Gives `target` the permission bits of `source`, so that a copied program (a JRE's bin/java)
/// stays executable: the mode bits on POSIX; nothing to do on Windows. When the source cannot be
/// examined or the target not changed, logs the system error as "[Extractor] stat failed ..." or
/// "[Extractor] chmod failed ..." and returns false.
bool CopyPermissions(const std::string& source, const std::string& target);

/// The process's current working folder; empty when it cannot be read.
std::string CurrentFolder();

/// The system's folder for temporary files (see SystemTempFolder in file_ops_os.h), or "."
/// when the system names none.
std::string TempFolderPath();

/// A file's last modification time, opaque but comparable for equality; none when it cannot
/// be read.
std::optional<std::int64_t> ModifiedTime(const std::string& path);

/// Gives `path` the modification time ModifiedTime read from another file; false on failure.
bool SetModifiedTime(const std::string& path, std::int64_t time);

/// Makes a file executable by everyone (POSIX: the modes rwxr-xr-x); nothing to do on Windows,
/// where being a program is a matter of the file's name.
void MakeExecutable(const std::string& path);

/// Replaces the file at `path` with `bytes` so that a reader sees the old content or the new,
/// never a mixture: the bytes go to a new file beside it, which is then renamed over it. Under
/// the guarded folder nothing reached through a link is written or replaced. True on success;
/// on failure the old file is as it was and the new one is gone.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

/// The whole content of a file of at most `limit` bytes; none when it cannot be read, is
/// longer, or is reached through a link under the guarded folder.
std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit);

/// The steps RenameWithFallbacks is made of, replaceable so tests can drive every outcome
/// without really sleeping for 3.5 seconds.
struct RenameSteps {
  /// The C library rename: 0 on success; on failure returns non-zero with errno set.
  std::function<int(const std::string& from, const std::string& to)> rename;
  /// MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED): true on success;
  /// on failure the system's last error (os::LastErrorCode) describes why.
  std::function<bool(const std::string& from, const std::string& to)> moveReplacing;
  std::function<void(unsigned milliseconds)> sleep;
};
/// The real steps of this platform.
RenameSteps SystemRenameSteps();

/// Moves a folder (or file) from `from` to `to`. An existing target is removed first. On failure
/// it retries 10 cycles (rename, 50 ms, MoveFileExA, 300 ms), then falls back to creating `to`
/// and copying into it, leaving `from` in place. The outcome is known only from the log.
void RenameWithFallbacks(const std::string& from, const std::string& to);
void RenameWithFallbacks(const std::string& from, const std::string& to, const RenameSteps& steps);

}  // namespace ferrolan::fs
