// Windows backend of the file-system toolkit on the ANSI API: FindFirstFileA listings,
// DeleteFileA/RemoveDirectoryA, MoveFileExA, GetCurrentDirectoryA.
#include <utility>

#include "fs/file_ops.h"
#include "fs/file_ops_os.h"
#include "os/windows.h"

namespace ferrolan::fs {

// FindFirstFileA already yields the first entry, so it is held until the first Next().
struct FolderListing::Impl {
  HANDLE find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA data{};
  bool pending = true;
};

FolderListing::FolderListing(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
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
  if (!impl_ || impl_->find == INVALID_HANDLE_VALUE) return std::nullopt;
  if (impl_->pending) {
    impl_->pending = false;
  } else if (!FindNextFileA(impl_->find, &impl_->data)) {
    return std::nullopt;
  }
  return std::string(impl_->data.cFileName);
}

int FolderListing::Close() {
  if (!impl_ || impl_->find == INVALID_HANDLE_VALUE) return -1;
  BOOL closed = FindClose(impl_->find);
  impl_->find = INVALID_HANDLE_VALUE;
  return closed ? 0 : -1;
}

namespace detail {

std::optional<FolderListing> OpenListing(const std::string& path) {
  // The search pattern is the folder followed by "*", with a separator between unless the
  // path already ends in one.
  std::string pattern = path;
  char last = pattern.back();
  if (last != '\\' && last != '/') pattern.push_back('\\');
  pattern.push_back('*');
  auto impl = std::make_unique<FolderListing::Impl>();
  impl->find = FindFirstFileA(pattern.c_str(), &impl->data);
  if (impl->find == INVALID_HANDLE_VALUE) return std::nullopt;
  return FolderListing(std::move(impl));
}

bool IsFolderLink(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  const DWORD link = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & link) == link;
}

bool RemoveFolderLink(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool RemoveEmptyFolder(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

void CopyFileMode(const std::string&, const std::string&) {}

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

}  // namespace detail
}  // namespace ferrolan::fs
