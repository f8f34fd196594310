#include <cstdlib>
#include <vector>

#include "log/log.h"
#include "os/os.h"
#include "os/windows.h"
#include "tail/params_os.h"

namespace ferrolan::tail::detail {

void ApplyAppUserModelId(const std::string& value) {
  os::DynamicLibrary shell32("shell32.dll");
  if (!shell32.IsLoaded()) return;
  log::LogPrintf(
      "[Extractor] Finding procedure address for SetCurrentProcessExplicitAppUserModelID\n");
  // Looked up by name: systems before Windows 7 do not have it.
  using SetIdFn = HRESULT(WINAPI*)(PCWSTR);
  auto setId = shell32.Function<SetIdFn>("SetCurrentProcessExplicitAppUserModelID");
  if (setId == nullptr) return;
  std::size_t wideLength = std::mbstowcs(nullptr, value.c_str(), 0);
  if (wideLength == static_cast<std::size_t>(-1)) wideLength = 0;  // not convertible
  std::vector<wchar_t> wide(wideLength + 1, L'\0');
  if (wideLength > 0) std::mbstowcs(wide.data(), value.c_str(), wideLength + 1);
  log::LogPrintf("[Extractor] Setting app ID to %ls (%s)\n", wide.data(), value.c_str());
  if (FAILED(setId(wide.data()))) {
    log::LogSystemError("Extractor", "SetCurrentProcessExplicitAppUserModelID");
  } else {
    log::LogPrintf("[Extractor] Set App ID OK\n");
  }
}

}  // namespace ferrolan::tail::detail
