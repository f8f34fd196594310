// Names of files that differ between Windows and POSIX installations of a JRE.
#pragma once

#include <vector>

namespace ferrolan::launcher {

/// The launcher executables a sound JRE has in its bin folder: java.exe and javaw.exe on
/// Windows, java on POSIX.
const std::vector<const char*>& JreLauncherNames();

}  // namespace ferrolan::launcher
