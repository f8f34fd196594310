#include "os/windows.h"
#include "update/update_lock_os.h"

namespace ferrolan::update {

struct UpdateLock::Handle {
  HANDLE file = INVALID_HANDLE_VALUE;
};

namespace detail {

UpdateLock::Handle* LockFile(const std::string& path) {
  // No sharing: a second open fails while this one lives, and the system closes it when the
  // process ends. A reparse point is opened as itself and refused below.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    CloseHandle(file);
    return nullptr;
  }
  auto* handle = new UpdateLock::Handle;
  handle->file = file;
  return handle;
}

void UnlockFile(UpdateLock::Handle* handle) {
  CloseHandle(handle->file);
  delete handle;
}

}  // namespace detail
}  // namespace ferrolan::update
