// The operating-system half of the JNI launch, implemented in jni_launch_win.cpp and
// jni_launch_posix.cpp. Private to the launch library.
#pragma once

#include <functional>
#include <string>

#include "os/os.h"

namespace ferrolan::launch::detail {

/// Loads one candidate. Windows makes `binFolder` the current and the DLL directory while the
/// library loads and restores both afterwards; POSIX loads the file as it is.
os::DynamicLibrary LoadJvmCandidate(const std::string& binFolder, const std::string& path);

/// Runs the virtual machine session `session` and returns its result: on the calling thread
/// (Windows) or on a new thread the caller waits for (POSIX).
int RunJavaSession(const std::function<int()>& session);

}  // namespace ferrolan::launch::detail
