// Windows backend of the OS primitives.
#include <cstdlib>

#include "os/os.h"
#include "os/windows.h"
// After <windows.h>, whose types it needs.
#include <mmsystem.h>

namespace ferrolan::os {

std::uint64_t MonotonicMs() { return timeGetTime(); }

LocalTime LocalTimeNow() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return LocalTime{st.wYear,   st.wMonth,  st.wDay,         st.wHour,
                   st.wMinute, st.wSecond, st.wMilliseconds};
}

std::optional<std::string> GetEnv(const char* name) {
  DWORD needed = GetEnvironmentVariableA(name, nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::string value(needed, '\0');
  DWORD got = GetEnvironmentVariableA(name, value.data(), needed);
  if (got >= needed) return std::nullopt;
  value.resize(got);
  return value;
}

void SetEnv(const char* name, const std::optional<std::string>& value) {
  // Both the process environment (read by GetEnvironmentVariableA and inherited by children)
  // and the C runtime's copy (read by getenv).
  SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
  _putenv_s(name, value ? value->c_str() : "");
}

int LastErrorCode() { return static_cast<int>(GetLastError()); }

std::string SystemErrorText(int code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0x400, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string result = (n != 0 && text != nullptr) ? std::string(text, n) : std::string();
  if (text != nullptr) LocalFree(text);
  return result;
}

void SleepMs(unsigned milliseconds) { Sleep(milliseconds); }

DynamicLibrary::DynamicLibrary(const std::string& path)
    : handle_(reinterpret_cast<void*>(LoadLibraryA(path.c_str()))) {}

DynamicLibrary::~DynamicLibrary() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

void* DynamicLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

}  // namespace ferrolan::os
