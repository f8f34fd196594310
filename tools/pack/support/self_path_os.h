// The operating-system half of self_path.h, implemented in self_path_win.cpp and
// self_path_posix.cpp. Private to the packager.
#pragma once

#include <string>

namespace ferrolan::pack::detail {

/// The full path of the running executable, or empty: GetModuleFileNameA on Windows, the
/// target of /proc/self/exe on POSIX.
std::string OwnExecutablePath();

}  // namespace ferrolan::pack::detail
