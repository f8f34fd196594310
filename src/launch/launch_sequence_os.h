// The operating-system half of the launch sequence, implemented in launch_sequence_win.cpp and
// launch_sequence_posix.cpp. Private to the launch library.
#pragma once

#include <string>

namespace ferrolan::launch::detail {

/// The JRE launcher the launch executable is copied from: bin\windowslauncher.exe when it
/// exists, else bin\javaw.exe (Windows); bin/java (POSIX).
std::string SourceLauncher(const std::string& binFolder);

/// The launch executable's file name: "<App Name>.exe" (Windows), "<App Name>" (POSIX).
std::string LaunchExecutableName(const std::string& appName);

/// Gives the copy the permission bits of its source, so a POSIX copy stays executable.
/// Nothing to do on Windows.
void CopyPermissions(const std::string& source, const std::string& target);

}  // namespace ferrolan::launch::detail
