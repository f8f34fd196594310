// The exit codes of the launcher's process, in one table. Lower layers report what happened in
// their own result types; only the launcher turns those into exit codes, here, and only the
// launcher ends the process (EndRun), so every way out flushes the log.
#pragma once

#include "archive/unarchiver.h"
#include "launch/launch_sequence.h"

namespace ferrolan::launcher {

enum class ExitCode : int {
  kSuccess = 0,                      ///< launched, prepared, or a test mode that ran
  kFailure = 1,                      ///< a failure whose message has been logged
  kLaunchPropertiesUnwritable = 99,  ///< the launch could not write its settings file
  kSpawnFailed = -1,                 ///< the JRE's launcher could not be started
};

/// Not an exit code of ours: the exit code of the updater's compatibility class that means
/// "this JRE can run the updater".
inline constexpr int kJreCompatibleExitCode = 72;

/// The exit code for an archive (or tail entry) that failed: every failure is kFailure.
constexpr ExitCode ExitCodeFor(archive::EntryResult) { return ExitCode::kFailure; }

/// The exit code for the outcome of a launch.
constexpr ExitCode ExitCodeFor(const launch::LaunchOutcome& outcome) {
  switch (outcome.status) {
    case launch::LaunchStatus::kRan:
      return ExitCode::kSuccess;
    case launch::LaunchStatus::kSpawnFailed:
      return ExitCode::kSpawnFailed;
    case launch::LaunchStatus::kLaunchPropertiesUnwritable:
      return ExitCode::kLaunchPropertiesUnwritable;
    case launch::LaunchStatus::kLaunchFileUnreadable:
    case launch::LaunchStatus::kNoPrivateJre:
    case launch::LaunchStatus::kJavaFailed:
    case launch::LaunchStatus::kApplicationFailed:
    case launch::LaunchStatus::kClasspathTooLong:
      return ExitCode::kFailure;
  }
  return ExitCode::kFailure;
}

/// Ends the process with `code` after flushing the log; exit handlers run.
[[noreturn]] void EndRun(ExitCode code);

}  // namespace ferrolan::launcher
