// The operating-system half of the Spawner, implemented in spawner_win.cpp and
// spawner_posix.cpp. Private to the launch library.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ferrolan::process::detail {

struct SpawnOutcome {
  bool started = false;
  /// Why the process could not be created: GetLastError on Windows, the errno value of
  /// posix_spawnp on POSIX (2 for a missing file on both).
  int error = 0;
  /// The child's exit code when it was waited for and ended.
  int exitCode = 0;
  /// Waited for at most a while, and still running then.
  bool stillRunning = false;
};

/// Starts the child: Windows from the command line (which CreateProcessA may modify, hence the
/// copy), POSIX from the argument list. With `wait` it returns after the child has ended. With
/// `output` (only together with `wait`) the child's standard output and error go into it
/// instead of the launcher's own (at most kMaxCapturedOutput bytes are kept; the rest is read
/// and dropped, so the child never blocks on a full pipe), and on Windows it gets no console
/// window.
inline constexpr std::size_t kMaxCapturedOutput = 64 * 1024;
/// `waitAtMostMs` (0 or more, with `wait`) bounds the wait: a child still running then is left
/// running, with `stillRunning` set.
SpawnOutcome StartProcess(const std::vector<std::string>& arguments, std::string commandLine,
                          bool wait, std::string* output = nullptr, int waitAtMostMs = -1);

}  // namespace ferrolan::process::detail
