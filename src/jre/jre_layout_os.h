// The operating-system half of jre_layout.h: the file names of this platform's JREs and where
// its system JREs live, implemented in jre_layout_win.cpp and jre_layout_posix.cpp. Private to
// the jre library.
#pragma once

#include <optional>
#include <string>

namespace ferrolan::jre::detail {

/// File names inside a JRE's bin folder. The preferred launcher is used when present; POSIX
/// has none.
const char* PreferredLauncherName();  // nullptr when the platform has none
const char* LauncherName();
const char* JavaExecutableName();
const char* Unpack200Name();

/// The JVM library ("jvm.dll" / "libjvm.so") and the JRE folder it lies under ("bin" / "lib").
const char* JvmLibraryName();
const char* JvmLibraryFolder();

/// What a program's file name ends with: ".exe" on Windows, nothing on POSIX.
const char* ProgramSuffix();

/// Where the system's JREs live when PROGRAMFILES is not set: none on Windows, the system's
/// JVM folder on POSIX.
std::optional<std::string> DefaultJreRoot();

}  // namespace ferrolan::jre::detail
