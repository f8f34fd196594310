// The operating-system half of failure_report.cpp, implemented in failure_report_win.cpp and
// failure_report_posix.cpp. Private to the launcher library.
#pragma once

#include <string>

namespace ferrolan::launcher::detail {

/// Shows `text` under `title`. Windows: a message box (it returns once the user closed it),
/// when `dialog` allows. POSIX: the text on standard error, and when `dialog` allows and a
/// display is set, a dialog of the desktop's own tool (zenity, kdialog or xmessage, the first
/// one found), started without waiting for it.
void ShowFailure(const std::string& title, const std::string& text, bool dialog);

}  // namespace ferrolan::launcher::detail
