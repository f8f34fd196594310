// The Spawner starts a child process from a list of arguments, either waiting for it and
// returning its exit code (runSpawnerAndWait) or leaving it to run (SpawnerRun).
//
// Platforms: Windows hands CreateProcessA one command line in which every argument is enclosed
// in double quotes and escaped so the child's argv parser gives back exactly the argument.
// POSIX starts the child with posix_spawnp and the argument list itself; the quoted line is
// still built (and logged) so both platforms log the same text and refuse the same lengths.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ferrolan::process {

/// Up to 500 arguments: entry 0 is the executable, the rest are its arguments in order. The
/// Spawner keeps its own copies of the strings.
struct Spawner {
  static constexpr std::size_t kMaxArguments = 500;
  /// Room for the command line including its terminating NUL.
  static constexpr std::size_t kCommandLineCapacity = 50000;
  std::vector<std::string> arguments;
};

/// Logs "[Spawner] Creating spawner" and returns an empty Spawner.
Spawner SpawnerCreate();

/// Appends one argument; when 500 are already there it logs a warning and drops it.
void SpawnerAppend(Spawner& spawner, std::string_view argument);

/// Logs the executable and appends it like any argument; so it must come first.
void SpawnerSetExe(Spawner& spawner, std::string_view executable);

/// Starts the process and waits for it. Returns its exit code (the unsigned 32-bit code widened;
/// on POSIX a child killed by a signal gives 128 + the signal number), or -1 when the process
/// cannot be created or the command line does not fit.
int runSpawnerAndWait(const Spawner& spawner);

/// Like runSpawnerAndWait, with the child's standard output and error in `output` (its first
/// 64 KiB) instead of the launcher's own: for helpers whose chatter belongs in the log only.
int runSpawnerAndWaitQuietly(const Spawner& spawner, std::string& output);

/// A start that is watched for a moment: whether the process started, and whether it ended
/// within that moment, with which exit code.
struct WatchedStart {
  bool started = false;
  bool ended = false;
  int exitCode = 0;
};

/// Starts the process and waits at most `graceMs` for it: a process still running then is left
/// to run. Tells a program that fails at once from one that runs.
WatchedStart SpawnerRunWatched(const Spawner& spawner, int graceMs);

/// Starts the process without waiting: 0, or -1 when it cannot be created.
int SpawnerRun(const Spawner& spawner);

/// One argument as it appears in the command line: enclosed in double quotes, with embedded
/// quotes written as \" and the backslashes before a quote (embedded or the closing one)
/// doubled. An argument without quotes and without a trailing backslash is only enclosed.
std::string QuoteArgument(std::string_view argument);

/// The whole command line: every argument quoted and followed by one blank. None when it would
/// not fit kCommandLineCapacity (terminating NUL included).
std::optional<std::string> BuildCommandLine(const Spawner& spawner);

}  // namespace ferrolan::process
