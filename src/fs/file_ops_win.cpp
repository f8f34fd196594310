// Windows backend of the file-system toolkit on the ANSI API: FindFirstFileA listings,
// DeleteFileA/RemoveDirectoryA, MoveFileExA, GetCurrentDirectoryA.
#include <utility>

#include "fs/file_ops.h"
#include "fs/file_ops_os.h"
#include "os/windows.h"

namespace ferrolan::fs {

// FindFirstFileA already yields the first entry, so it is held until the first Next().
struct FolderListing::Impl {
  os::ScopedFindHandle find;
  WIN32_FIND_DATAA data{};
  bool pending = true;
};

namespace detail {

std::optional<FolderListing> OpenListing(const std::string& path) {
  // The search pattern is the folder followed by "*", with a separator between unless the
  // path already ends in one.
  std::string pattern = path;
  char last = pattern.back();
  if (last != '\\' && last != '/') pattern.push_back('\\');
  pattern.push_back('*');
  FolderListing::ImplPtr impl(new FolderListing::Impl);
  impl->find = os::ScopedFindHandle(FindFirstFileA(pattern.c_str(), &impl->data));
  if (!impl->find.IsValid()) return std::nullopt;
  return FolderListing(std::move(impl));
}

std::optional<std::string> NextListingEntry(FolderListing::Impl& listing) {
  if (!listing.find.IsValid()) return std::nullopt;
  if (listing.pending) {
    listing.pending = false;
  } else if (!FindNextFileA(listing.find.get(), &listing.data)) {
    return std::nullopt;
  }
  return std::string(listing.data.cFileName);
}

int CloseListing(FolderListing::Impl& listing) {
  if (!listing.find.IsValid()) return -1;
  return listing.find.Close() ? 0 : -1;
}

void DestroyListing(FolderListing::Impl* listing) { delete listing; }

bool IsFolderLink(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  const DWORD link = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & link) == link;
}

bool RemoveFolderLink(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool RemoveEmptyFolder(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

const char* CopyFileMode(const std::string&, const std::string&) { return nullptr; }

void MakeExecutable(const std::string&) {}

bool MoveReplacing(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) !=
         0;
}

std::string WorkingFolder() {
  char buffer[1024];
  DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
  if (length == 0 || length >= sizeof buffer) return std::string();
  return std::string(buffer, length);
}

std::string SystemTempFolder() {
  char buffer[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof buffer, buffer);
  if (length == 0 || length >= sizeof buffer) return std::string();
  std::string folder(buffer, length);
  // "C:\Temp\" loses its separator, a drive root "C:\" keeps it.
  if (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

namespace {

// The file opened for reading its times or for setting them; links are followed, as for any
// open.
HANDLE OpenForTimes(const std::string& path, DWORD access) {
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

std::optional<std::int64_t> ModifiedTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
      data.ftLastWriteTime.dwLowDateTime);
}

bool SetModifiedTime(const std::string& path, std::int64_t time) {
  HANDLE file = OpenForTimes(path, FILE_WRITE_ATTRIBUTES);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME written;
  written.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(time) & 0xFFFFFFFFu);
  written.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(time) >> 32);
  const bool set = SetFileTime(file, nullptr, nullptr, &written) != 0;
  CloseHandle(file);
  return set;
}

}  // namespace detail
}  // namespace ferrolan::fs
