// The operating-system half of the JRE subsystem, implemented in jre_os_win.cpp and
// jre_os_posix.cpp. Private to the jre library.
#pragma once

#include <optional>
#include <string>

#include "jre/java_check.h"

namespace ferrolan::jre::detail {

/// File names inside a JRE's bin folder. The preferred launcher is used when present; POSIX
/// has none.
const char* PreferredLauncherName();  // nullptr when the platform has none
const char* LauncherName();
const char* JavaExecutableName();
const char* Unpack200Name();

/// Where the system's JREs live when PROGRAMFILES is not set: none on Windows, the system's
/// JVM folder on POSIX.
std::optional<std::string> DefaultJreRoot();

/// Reads the version of a java executable, logging each step the way JavaCheck reports it.
/// None when there is no version to look at (no resource, a failed read or query, or an empty
/// value). Windows: the version resource of the file through version.dll. POSIX: the
/// JAVA_VERSION of the "release" file two folders above the executable (<jre>/bin/java).
std::optional<FixedVersion> ReadFixedVersion(const std::string& javaPath);

}  // namespace ferrolan::jre::detail
