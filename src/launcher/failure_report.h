// Telling the user that a run failed. A launcher started from a desktop has no console, so a
// failure that only reaches the log looks like nothing happened: the user sees a message (a
// message box on Windows; standard error and, with a display, a dialog on POSIX) naming what
// failed and the log that says more.
#pragma once

#include <string>

namespace ferrolan::launcher {

/// What the user is told. Pure, so its wording is testable: `appName` could not be installed or
/// started; `detail` (may be empty) says why; `logPath` (may be empty) is where to read more.
std::string FailureMessage(const std::string& appName, const std::string& detail,
                           const std::string& logPath);

/// Logs the failure and tells the user: on POSIX always on standard error; a dialog (or on
/// Windows a message box) unless the run has no user interface (`silent`) or the environment
/// variable FERROLAN_NO_DIALOGS is set (unattended machines, tests).
void ReportFailure(const std::string& appName, const std::string& detail,
                   const std::string& logPath, bool silent);

/// Logs `text` and tells the user the way ReportFailure does, for news that is not a failure
/// of the run (the run goes on).
void TellUser(const std::string& appName, const std::string& text, bool silent);

}  // namespace ferrolan::launcher
