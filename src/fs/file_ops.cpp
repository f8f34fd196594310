// The portable part of the file-system toolkit: the tree walks, the stream copies and the rename
// with its fallbacks. Folder searches, removal and the Windows move call live in the backends.
#include "fs/file_ops.h"
#include "fs/owned_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fs/file_ops_os.h"
#include "fs/path.h"
#include "log/log.h"
#include "os/os.h"

namespace ferrolan::fs {
namespace {

using log::LogPrintf;

// Copies move data in chunks of this size; a read that returns less ends the copy.
constexpr std::size_t kCopyChunk = 50000;

// Rename retries: cycles, and the two sleeps of one cycle.
constexpr int kRenameCycles = 10;
constexpr unsigned kSleepBeforeMoveMs = 50;
constexpr unsigned kSleepAfterMoveMs = 300;

enum class CopyResult { kOk, kReadFailed, kWriteFailed };

// Copies the rest of `in` into `out` and closes `out`, so a failure to write the last buffered
// bytes is seen too. Each call has its own buffer: the walks may run on any thread.
CopyResult CopyAndClose(std::FILE* in, OwnedFile out) {
  std::vector<char> chunk(kCopyChunk);
  bool written = true;
  for (;;) {
    std::size_t got = std::fread(chunk.data(), 1, chunk.size(), in);
    if (got > 0 && std::fwrite(chunk.data(), 1, got, out.get()) != got) {
      written = false;
      break;
    }
    if (got < chunk.size()) break;
  }
  bool readFailed = std::ferror(in) != 0;
  if (std::fclose(out.release()) != 0) written = false;
  if (!written) return CopyResult::kWriteFailed;
  return readFailed ? CopyResult::kReadFailed : CopyResult::kOk;
}

// "." and "..", and with them any other name of a dot and one character, are not walked into.
bool IsSkippedName(const std::string& name) { return name.size() <= 2 && name.front() == '.'; }

int CopyOneFile(const std::string& source, const std::string& target) {
  OwnedFile in = OpenFile(source, "rb");
  if (!in) {
    LogPrintf("[CopyFolder] *************************** Unable to open source file for copy %s\n",
              source.c_str());
    return 1;
  }
  OwnedFile out = OpenFile(target, "wb");
  if (!out) {
    LogPrintf(
        "[CopyFolder] *************************** Unable to open destination file for copy %s\n",
        target.c_str());
    return 1;
  }
  switch (CopyAndClose(in.get(), std::move(out))) {
    case CopyResult::kOk:
      detail::CopyFileMode(source, target);
      return 0;
    case CopyResult::kReadFailed:
      LogPrintf("[CopyFolder] *************************** Unable to read source file for copy %s\n",
                source.c_str());
      return 1;
    case CopyResult::kWriteFailed:
      break;
  }
  LogPrintf(
      "[CopyFolder] *************************** Unable to write destination file for copy %s\n",
      target.c_str());
  return 1;
}

// Removes a link as itself: a link to a folder (or a junction) with the folder call, any other
// with the file call. Its target is never touched.
bool RemoveLinkItself(const std::string& path) {
  return detail::IsFolderLink(path) ? detail::RemoveFolderLink(path) : detail::RemoveFile(path);
}

// A target that is already there would either make every rename fail or, through the copy
// fallback, mix stale files into the new tree, so it is removed as a whole.
// Moves an existing folder at the target aside with one rename, so that the versioned name never
// holds a half-deleted folder, even when the process is killed while the old one is deleted.
// The aside name has a single "-", so no search for installed components ever takes it for one.
// None when nothing could be moved (the caller then deletes in place).
std::optional<std::string> MoveTargetAside(const std::string& to) {
  const std::size_t slash = to.find_last_of("/\\");
  const std::string parent = slash == std::string::npos ? std::string(".") : to.substr(0, slash);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string aside = parent;
    PathJoin(aside, "FerrolanReplaced-" + std::to_string(os::MonotonicMs()) + "_" +
                        std::to_string(attempt));
    if (EntryExists(aside)) continue;
    if (std::rename(to.c_str(), aside.c_str()) != 0) return std::nullopt;
    LogPrintf("[Rename] The target already exists. Moved it aside to %s\n", aside.c_str());
    return aside;
  }
  return std::nullopt;
}

// Removes what is at the target; returns the folder moved aside, to be deleted once the new
// folder is in place.
std::optional<std::string> RemoveExistingTarget(const std::string& to) {
  if (IsLink(to)) {
    // A link planted at the final name is removed as itself; what it points to is not touched.
    LogPrintf("[Rename] The target already exists. Deleting.\n");
    if (!RemoveLinkItself(to)) log::LogSystemError("Rename", "Removing the existing target");
    return std::nullopt;
  }
  bool isFile = FileExists(to) == 1;
  bool isFolder = !isFile && IsFolder(to);
  if (!isFile && !isFolder) return std::nullopt;
  if (isFolder) {
    if (std::optional<std::string> aside = MoveTargetAside(to)) return aside;
  }
  LogPrintf("[Rename] The target already exists. Deleting.\n");
  bool removed =
      isFile ? detail::RemoveFile(to) : DeleteFolder(to) == 0 && detail::RemoveEmptyFolder(to);
  if (!removed) log::LogSystemError("Rename", "Removing the existing target");
  return std::nullopt;
}

void DeleteAside(const std::optional<std::string>& aside) {
  if (aside && !(DeleteFolder(*aside) == 0 && detail::RemoveEmptyFolder(*aside))) {
    log::LogSystemError("Rename", "Removing the replaced folder");
  }
}

}  // namespace

void FolderListing::ImplDeleter::operator()(Impl* impl) const { detail::DestroyListing(impl); }

FolderListing::FolderListing(ImplPtr impl) : impl_(std::move(impl)) {}
FolderListing::~FolderListing() { Close(); }
FolderListing::FolderListing(FolderListing&&) noexcept = default;
FolderListing& FolderListing::operator=(FolderListing&& other) noexcept {
  if (this != &other) {
    Close();
    impl_ = std::move(other.impl_);
  }
  return *this;
}

std::optional<std::string> FolderListing::Next() {
  if (!impl_) return std::nullopt;
  return detail::NextListingEntry(*impl_);
}

int FolderListing::Close() {
  if (!impl_) return -1;
  return detail::CloseListing(*impl_);
}

int FileExists(const std::string& path) {
  OwnedFile file = OpenFile(path, "rb");
  // Some C libraries open folders for reading; a folder is never a file here.
  if (!file || IsFolder(path)) {
    LogPrintf("[Utils] File does NOT exist: %s\n", path.c_str());
    return 0;
  }
  LogPrintf("[Utils] File exists: %s\n", path.c_str());
  return 1;
}

std::optional<FolderListing> OpenFolderListing(const std::string& path) {
  if (path.empty()) return std::nullopt;
  return detail::OpenListing(path);
}

std::optional<std::string> NextFolderEntry(FolderListing& listing) { return listing.Next(); }

int CloseFolderListing(FolderListing& listing) { return listing.Close(); }

namespace {

// Calls visit(name, path) for every entry of `folder` but "." and "..", stopping at the first
// non-zero result and returning it. A folder that cannot be listed logs `unlistable` and gives 1.
template <typename Visit>
int ForEachEntry(const std::string& folder, const char* unlistable, Visit visit) {
  std::optional<FolderListing> listing = OpenFolderListing(folder);
  if (!listing) {
    LogPrintf(unlistable, folder.c_str());
    return 1;
  }
  while (std::optional<std::string> name = listing->Next()) {
    if (IsSkippedName(*name)) continue;
    std::string path = folder;
    PathJoin(path, *name);
    if (int result = visit(*name, path); result != 0) return result;
  }
  return 0;
}

}  // namespace

int CopyFolder(const std::string& source, const std::string& target) {
  if (IsLink(target) || ReachedThroughLink(target)) {
    LogPrintf(
        "[CopyFolder] *************************** Not copying into %s: it is reached through a "
        "link\n",
        target.c_str());
    return -1;
  }
  return ForEachEntry(
      source, "[CopyFolder] SourceDir from '%s' is NULL\n",
      [&](const std::string& name, const std::string& from) {
        std::string to = target;
        PathJoin(to, name);
        if (!IsFolder(from)) {
          LogPrintf("[CopyFolder] Copying FILE %s\n", to.c_str());
          return CopyOneFile(from, to) != 0 ? 1 : 0;
        }
        LogPrintf("[CopyFolder] Copying DIR %s\n", to.c_str());
        if (CreateFolder(to) != 0) {
          LogPrintf(
              "[CopyFolder] *************************** Failed to copy %s to %s (could not "
              "create target folder)\n",
              from.c_str(), to.c_str());
          return -1;
        }
        const int result = CopyFolder(from, to);
        if (result != 0) {
          LogPrintf("[CopyFolder] *************************** Failed to copy %s to %s\n",
                    from.c_str(), to.c_str());
        }
        return result;
      });
}

int DeleteFolder(const std::string& path) {
  // Emptying a link would empty what it points to, wherever that is.
  if (IsLink(path) || ReachedThroughLink(path)) {
    LogPrintf("[DeleteFolder] Not deleting from '%s': it is reached through a link\n",
              path.c_str());
    return 1;
  }
  return ForEachEntry(path, "[DeleteFolder] Deleting from '%s' is NULL\n",
                      [](const std::string&, const std::string& entry) {
                        if (IsLink(entry)) {
                          LogPrintf("Deleting FILE %s\n", entry.c_str());
                          if (!RemoveLinkItself(entry))
                            LogPrintf("Failed to delete file %s\n", entry.c_str());
                        } else if (IsFolder(entry)) {
                          LogPrintf("Deleting DIR %s\n", entry.c_str());
                          if (DeleteFolder(entry) != 0 || !detail::RemoveEmptyFolder(entry))
                            LogPrintf("Failed to delete %s\n", entry.c_str());
                        } else {
                          LogPrintf("Deleting FILE %s\n", entry.c_str());
                          if (!detail::RemoveFile(entry))
                            LogPrintf("Failed to delete file %s\n", entry.c_str());
                        }
                        return 0;
                      });
}

bool CopyStreamToFile(const std::string& path, std::FILE* source) {
  OwnedFile out = OpenFile(path, "wb");
  if (!out) {
    LogPrintf(
        "[Extractor] *************************** Unable to open destination file for copy %s\n",
        path.c_str());
    return false;
  }
  switch (CopyAndClose(source, std::move(out))) {
    case CopyResult::kOk:
      return true;
    case CopyResult::kReadFailed:
      LogPrintf(
          "[Extractor] *************************** Unable to read source stream for copy %s\n",
          path.c_str());
      return false;
    case CopyResult::kWriteFailed:
      break;
  }
  LogPrintf(
      "[Extractor] *************************** Unable to write destination file for copy %s\n",
      path.c_str());
  return false;
}

bool CopyPermissions(const std::string& source, const std::string& target) {
  const char* failedCall = detail::CopyFileMode(source, target);
  if (failedCall == nullptr) return true;
  log::LogSystemError("Extractor", failedCall);
  return false;
}

void MakeExecutable(const std::string& path) { detail::MakeExecutable(path); }

RenameSteps SystemRenameSteps() {
  RenameSteps steps;
  steps.rename = [](const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str());
  };
  steps.moveReplacing = detail::MoveReplacing;
  steps.sleep = os::SleepMs;
  return steps;
}

void RenameWithFallbacks(const std::string& from, const std::string& to) {
  RenameWithFallbacks(from, to, SystemRenameSteps());
}

void RenameWithFallbacks(const std::string& from, const std::string& to, const RenameSteps& steps) {
  LogPrintf("[Extractor] Working dir is '%s'\n", detail::WorkingFolder().c_str());
  // A link at the target is removed as itself; one anywhere else on either path stops the move.
  const auto refuse = [&] {
    LogPrintf("[Rename] [FAIL] Not renaming '%s' to '%s': a link is on the way\n", from.c_str(),
              to.c_str());
  };
  if (IsLink(from) || ReachedThroughLink(from)) return refuse();
  const std::optional<std::string> aside = RemoveExistingTarget(to);
  if (ReachedThroughLink(to)) return refuse();

  int result = steps.rename(from, to);
  int error = errno;
  bool moved = false;
  for (int cycle = 0; result != 0 && cycle < kRenameCycles; ++cycle) {
    LogPrintf("[Rename] Could not rename '%s' to '%s' [%d]\n", from.c_str(), to.c_str(), error);
    steps.sleep(kSleepBeforeMoveMs);
    LogPrintf(
        "[Rename] Windows - this FS seems to not supported renaming. Trying alternative "
        "method...\n");
    if (steps.moveReplacing(from, to)) {
      LogPrintf("[Rename] MoveFileEx worked. Assuming success.\n");
      moved = true;
      break;
    }
    log::LogSystemError("Extractor", "MoveFileEx");
    steps.sleep(kSleepAfterMoveMs);
    result = steps.rename(from, to);
    error = errno;
  }

  if (!moved && result != 0) {
    LogPrintf("[Rename] [FAIL] Could not rename '%s' to '%s' [%d]\n", from.c_str(), to.c_str(),
              error);
    LogPrintf("[Rename] Can do no better than a copy on this filesystem\n");
    CreateFolder(to);
    LogPrintf("[Rename] Created folder %s\n", to.c_str());
    if (CopyFolder(from, to) != 0) {
      LogPrintf("[Rename] Copy failed too! Severe filesystem issues.\n");
    } else {
      LogPrintf("[Rename] Copied %s to %s\n", from.c_str(), to.c_str());
    }
    DeleteAside(aside);
    return;
  }
  LogPrintf("[Rename] File '%s' renamed to '%s'\n", from.c_str(), to.c_str());
  DeleteAside(aside);
}

std::string CurrentFolder() { return detail::WorkingFolder(); }

std::string TempFolderPath() {
  std::string folder = detail::SystemTempFolder();
  return folder.empty() ? std::string(".") : folder;
}

std::optional<std::int64_t> ModifiedTime(const std::string& path) {
  return detail::ModifiedTime(path);
}

bool SetModifiedTime(const std::string& path, std::int64_t time) {
  return detail::SetModifiedTime(path, time);
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes) {
  if (ReachedThroughLink(path) || IsLink(path)) {
    LogPrintf("[Utils] Not replacing %s: it is reached through a link\n", path.c_str());
    return false;
  }
  // A name of this write's own, so two processes replacing the same file do not mix.
  static std::atomic<unsigned> writes{0};
  const std::string fresh = path + ".new-" + std::to_string(os::MonotonicMs()) + "-" +
                            std::to_string(writes.fetch_add(1));
  bool written = false;
  {
    OwnedFile file = OpenFile(fresh, "wb");
    if (!file) return false;
    written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size() &&
              std::fflush(file.get()) == 0;
    written = std::fclose(file.release()) == 0 && written;
  }
  if (written &&
      (std::rename(fresh.c_str(), path.c_str()) == 0 || detail::MoveReplacing(fresh, path))) {
    return true;
  }
  LogPrintf("[Utils] Could not replace %s\n", path.c_str());
  detail::RemoveFile(fresh);
  return false;
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit) {
  if (ReachedThroughLink(path) || IsLink(path)) return std::nullopt;
  OwnedFile file = OpenFile(path, "rb");
  if (!file) return std::nullopt;
  std::string content(limit + 1, '\0');
  const std::size_t got = std::fread(content.data(), 1, content.size(), file.get());
  if (got > limit || std::ferror(file.get())) return std::nullopt;
  content.resize(got);
  return content;
}

}  // namespace ferrolan::fs
