// Where things are inside a JRE folder, and where the system's JREs are looked for.
//
// Platforms: a Windows JRE starts programs with bin\windowslauncher.exe when it has one, else
// with bin\javaw.exe, carries its version in the version resource of bin\java.exe and keeps
// its pack200 unpacker in bin\unpack200.exe. A POSIX JRE has one launcher, bin/java, keeps the
// unpacker in bin/unpack200 and states its version in the "release" file at its top.
#pragma once

#include <optional>
#include <string>

namespace ferrolan::jre {

/// The executable that starts Java programs of a JRE: the folder joined with "bin" and
/// "windowslauncher.exe" when that file exists, else with "bin" and "javaw.exe", which is not
/// tested (POSIX: always bin/java, untested).
std::string LocateJavaLauncher(const std::string& jreFolder);

/// The JRE's pack200 unpacker, bin\unpack200.exe (POSIX: bin/unpack200); existence is not
/// tested. Writes three "[Locating UP200] " lines to standard output only, never to the log
/// file: the folder, its bin folder and the result.
std::string LocateUnpack200(const std::string& jreFolder);

/// The executable whose version JavaCheck reads: bin\java.exe (POSIX: bin/java).
std::string JavaExecutablePath(const std::string& jreFolder);

/// The folder that holds the system JRE candidates jre5 ... jre20: the value of PROGRAMFILES
/// joined with "Java", or with "Java_FLAutoTest" in auto-test mode. Without PROGRAMFILES
/// Windows has no candidates (none). POSIX then looks in the system's JVM folder /usr/lib/jvm,
/// except in auto-test mode, which must never pick up what happens to be installed.
std::optional<std::string> SystemJreRoot(bool autoTest);

}  // namespace ferrolan::jre
