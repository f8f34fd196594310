// The facts of a Java command line: how class path entries are joined, and the order of the
// arguments of a spawned Java virtual machine. The Spawner (process/) starts any program; what
// makes its command a Java one lives here.
//
// Platforms: the class path separator differs (";" on Windows, ":" on POSIX); the rest is
// portable.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ferrolan::launch {

/// The separator of Java class path entries: ";" on Windows, ":" on POSIX.
char ClasspathSeparator();

/// The flat argument list of a Java command line: executable, JVM options, "-cp" and the class
/// path entries joined into one string (both left out when that string is empty), main class,
/// application arguments. Logs every entry as "[Extractor][Spawn][i] ...".
std::vector<std::string> BuildSpawnArguments(std::string_view executable,
                                             std::string_view mainClass,
                                             const std::vector<std::string>& jvmOptions,
                                             const std::vector<std::string>& classpath,
                                             const std::vector<std::string>& appArguments);

}  // namespace ferrolan::launch
