// The few operating-system primitives that several subsystems share. Each has one portable
// declaration here; os_win.cpp and os_posix.cpp implement them. This module is the one exception
// to the x.h / x_os.h split of the other subsystems: every function here is a thin wrapper of one
// system call, so a detail layer and portable forwarders would only repeat these declarations.
// Windows-only helpers (the system's version, handle owners) are in os/windows.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ferrolan::os {

/// Milliseconds from a clock that never jumps with the wall clock.
/// Windows: the multimedia timer `timeGetTime` (wraps after 49.7 days).
/// POSIX: CLOCK_MONOTONIC.
std::uint64_t MonotonicMs();

/// Local wall-clock time, split into fields, with the millisecond part (0 if unreadable).
struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};
LocalTime LocalTimeNow();

/// The value of an environment variable, or none when it is not set.
std::optional<std::string> GetEnv(const char* name);

/// Sets (or, with none, removes) an environment variable of this process; children started
/// afterwards inherit it.
void SetEnv(const char* name, const std::optional<std::string>& value);

/// The calling thread's last system error code: `GetLastError` on Windows, `errno` on POSIX.
/// Read it before anything else can change it.
int LastErrorCode();

/// The system's text for an error code: `FormatMessageA` in the user's default language on
/// Windows (usually ending in a line break, and worded differently under Wine), `strerror` on
/// POSIX (no line break).
std::string SystemErrorText(int code);

/// Sleeps the calling thread.
void SleepMs(unsigned milliseconds);

/// A shared library loaded at run time (`LoadLibraryA` / `dlopen`), released when destroyed.
class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  explicit DynamicLibrary(const std::string& path);
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;

  bool IsLoaded() const { return handle_ != nullptr; }
  /// The address of an exported symbol, or nullptr.
  void* Symbol(const char* name) const;
  /// Typed form of Symbol for function pointers.
  template <typename Fn>
  Fn Function(const char* name) const {
    return reinterpret_cast<Fn>(Symbol(name));
  }
  /// Stores the function `name` in `slot`; false (and a null slot) when the library has none.
  template <typename Fn>
  bool Resolve(const char* name, Fn& slot) const {
    slot = Function<Fn>(name);
    return slot != nullptr;
  }

 private:
  void* handle_ = nullptr;
};

}  // namespace ferrolan::os
