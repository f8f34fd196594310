// The operating-system half of the Params handling, implemented in params_win.cpp and
// params_posix.cpp. Private to the tail library.
#pragma once

#include <string>

namespace ferrolan::tail::detail {

/// The platform part of SetWindowsAppId: from loading shell32 on. Windows logs the lookup and
/// its outcome; POSIX has no shell32 and does nothing.
void ApplyAppUserModelId(const std::string& value);

}  // namespace ferrolan::tail::detail
