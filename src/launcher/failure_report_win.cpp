#include "launcher/failure_report_os.h"
#include "os/windows.h"

namespace ferrolan::launcher::detail {

void ShowFailure(const std::string& title, const std::string& text, bool dialog) {
  if (!dialog) return;  // a windowed program has no console to write to
  MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

}  // namespace ferrolan::launcher::detail
