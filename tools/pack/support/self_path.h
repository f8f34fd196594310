// Where the running packager lives, so "build" can find the launcher image installed beside it.
#pragma once

#include <string>

namespace ferrolan::pack {

/// The full path of the running executable, or empty when the system cannot tell.
/// Windows: GetModuleFileNameA. POSIX: the target of /proc/self/exe.
std::string OwnExecutablePath();

}  // namespace ferrolan::pack
