// The one place that includes <windows.h>, and the one home of the Windows helpers that several
// subsystems share: the system's version, and owners for kernel, search and module handles.
// Only *_win.cpp files include this header. (The error text of a system error code is
// os::SystemErrorText in os/os.h, because portable code logs it too.)
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <optional>
#include <utility>

namespace ferrolan::os {

/// The system's major and minor version as the system reports it to this program.
struct WindowsVersionNumber {
  unsigned major = 0;
  unsigned minor = 0;
};

/// The running system's version from GetVersionExA, or none when it cannot be read.
/// GetVersionExA is deprecated in favour of manifests, but it is exactly what the version gates
/// of the launcher want: the version the system presents to this program.
inline std::optional<WindowsVersionNumber> WindowsVersion() {
  static_assert(sizeof(OSVERSIONINFOA) == 148, "GetVersionExA expects the 148-byte record");
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  BOOL ok = GetVersionExA(&info);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  if (!ok) return std::nullopt;
  return WindowsVersionNumber{static_cast<unsigned>(info.dwMajorVersion),
                              static_cast<unsigned>(info.dwMinorVersion)};
}

/// Owns one handle and releases it when it goes out of scope. Movable, not copyable. `Traits`
/// names the handle kind: `Invalid()` is its "no handle" value and `Release(handle)` gives it
/// back to the system. A null handle is never released either, since several calls report
/// failure with it.
template <typename Traits>
class BasicScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  BasicScopedHandle() = default;
  explicit BasicScopedHandle(Handle handle) : handle_(handle) {}
  ~BasicScopedHandle() { Close(); }
  BasicScopedHandle(const BasicScopedHandle&) = delete;
  BasicScopedHandle& operator=(const BasicScopedHandle&) = delete;
  BasicScopedHandle(BasicScopedHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, Traits::Invalid())) {}
  BasicScopedHandle& operator=(BasicScopedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, Traits::Invalid());
    }
    return *this;
  }

  Handle get() const { return handle_; }
  bool IsValid() const { return handle_ != Traits::Invalid() && handle_ != Handle{}; }

  /// Releases the handle now: true when one was held and the system released it.
  bool Close() {
    if (!IsValid()) return false;
    return Traits::Release(std::exchange(handle_, Traits::Invalid()));
  }

 private:
  Handle handle_ = Traits::Invalid();
};

struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static bool Release(Handle handle) { return CloseHandle(handle) != 0; }
};

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static bool Release(Handle handle) { return FindClose(handle) != 0; }
};

/// A kernel handle (process, thread, file), closed with CloseHandle.
using ScopedHandle = BasicScopedHandle<KernelHandleTraits>;

/// A search handle of FindFirstFileA, closed with FindClose.
using ScopedFindHandle = BasicScopedHandle<FindHandleTraits>;

}  // namespace ferrolan::os
