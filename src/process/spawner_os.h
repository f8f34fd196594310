// The operating-system half of the Spawner, implemented in spawner_win.cpp and
// spawner_posix.cpp. Private to the launch library.
#pragma once

#include <string>
#include <vector>

namespace ferrolan::process::detail {

struct SpawnOutcome {
  bool started = false;
  /// Why the process could not be created: GetLastError on Windows, the errno value of
  /// posix_spawnp on POSIX (2 for a missing file on both).
  int error = 0;
  /// The child's exit code when it was waited for.
  int exitCode = 0;
};

/// The separator of Java class path entries: ";" on Windows, ":" on POSIX.
char ClasspathSeparator();

/// Starts the child: Windows from the command line (which CreateProcessA may modify, hence the
/// copy), POSIX from the argument list. With `wait` it returns after the child has ended.
SpawnOutcome StartProcess(const std::vector<std::string>& arguments, std::string commandLine,
                          bool wait);

}  // namespace ferrolan::process::detail
