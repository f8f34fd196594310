// The operating-system half of the developer test modes, implemented in test_modes_win.cpp and
// test_modes_posix.cpp. Private to the launcher library.
#pragma once

#include <string>

namespace ferrolan::launcher::detail {

/// The temporary folder the extraction test writes under: "C:\TEMP" on Windows, the system's
/// temporary folder on POSIX ("/tmp" when none is named). The caller creates it when missing.
std::string ExtractTestRoot();

}  // namespace ferrolan::launcher::detail
