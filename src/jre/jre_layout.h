// Where things are inside a JRE folder, and where the system's JREs are looked for. Every file
// name of a JRE the launcher relies on is stated here (and in jre_layout_win.cpp /
// jre_layout_posix.cpp) and nowhere else.
//
// Platforms: a Windows JRE starts programs with bin\windowslauncher.exe when it has one, else
// with bin\javaw.exe, carries its version in the version resource of bin\java.exe, keeps its
// pack200 unpacker in bin\unpack200.exe and its virtual machine in jvm.dll under bin\. A POSIX
// JRE has one launcher, bin/java, keeps the unpacker in bin/unpack200 and libjvm.so under lib/,
// and states its version in the "release" file at its top.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace ferrolan::jre {

/// The file at the top of a JRE that states its version (JAVA_VERSION="..."). The POSIX version
/// check reads it; a Windows JRE carries it too, but there the version resource is read.
inline constexpr const char* kReleaseFileName = "release";

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

/// The launcher executables a sound JRE has in its bin folder: java.exe and javaw.exe on
/// Windows, java on POSIX.
const std::vector<const char*>& JreLauncherNames();

/// The file name of the application's own copy of the JRE's launcher: "<App Name>.exe" on
/// Windows, "<App Name>" on POSIX.
std::string LaunchExecutableName(const std::string& appName);

/// The four places of the JVM library relative to the JRE folder, in the order they are tried:
/// bin\server, bin\client, jre\bin\client and jre\bin\server, each with jvm.dll (Windows);
/// lib/server, lib/client, jre/lib/client and jre/lib/server, each with libjvm.so (POSIX). The
/// jre\ forms are the layout of an older JDK.
std::array<std::string, 4> JvmLibraryCandidates(const std::string& jreFolder);

/// The folder that holds the system JRE candidates jre5 ... jre20: the value of PROGRAMFILES
/// joined with "Java", or with "Java_FLAutoTest" in auto-test mode. Without PROGRAMFILES
/// Windows has no candidates (none). POSIX then looks in the system's JVM folder /usr/lib/jvm,
/// except in auto-test mode, which must never pick up what happens to be installed.
std::optional<std::string> SystemJreRoot(bool autoTest);

}  // namespace ferrolan::jre
