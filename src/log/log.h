// The launcher's one log: every message goes to the run's log file (once opened) and to
// standard output, prefixed with "+%-8llu " and the milliseconds since the previous message.
//
// Process-wide state: the open log file and the time the previous message ended. Whole
// messages are serialised by a lock, so lines from different threads never interleave.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#if defined(__MINGW32__)
#define FERROLAN_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define FERROLAN_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

namespace ferrolan::log {

/// Writes one message (the caller supplies its "\n").
void LogPrintf(const char* format, ...) FERROLAN_PRINTF(1, 2);

/// Writes a message framed by two lines of 43 stars, each line with its own prefix.
void LogError(const char* format, ...) FERROLAN_PRINTF(1, 2);

/// Start banner of a phase: 48 plus signs, "+++ Start: <label>", 48 plus signs.
void LogStart(const char* label);

/// End banner of a phase: 48 hyphens, "--- End: <label>", 48 hyphens.
void LogEnd(const char* label);

/// Logs "[tag] operation failed with error N: text" for the calling thread's last system error
/// (GetLastError + FormatMessageA on Windows, errno + strerror on POSIX). The code is read first.
void LogSystemError(const char* tag, const char* operation);

/// The log file's name for a local time: "Wrapper-YYYY-MM-DD-hh-mm-ss-mmm.log".
std::string LogFileName(int year, int month, int day, int hour, int minute, int second,
                        int millisecond);

/// Creates "<sharedDir>/Ferrolan-<appName>" and its "logs" folder and opens this run's log file
/// there (an existing file of the same name is emptied). If the file cannot be opened, the run
/// goes on logging to standard output only. Returns the file's path. Being the first step of a
/// run that touches the master folder, it also puts the master folder under the link guard
/// (fs::GuardAgainstLinks): a master folder, "logs" folder or log file that is a link is not
/// used, and the run goes on logging to standard output only.
std::string LogOpen(const std::string& sharedDir, const std::string& appName);

/// Closes the log file; later messages go to standard output only.
void LogClose();

/// Keeps the log file open while it lives: a LogClose meanwhile only flushes the file, which is
/// closed when the last deferral ends. Work that goes on beside the Java program (the update
/// check) keeps its lines in the run's log this way.
class LogCloseDeferral {
 public:
  LogCloseDeferral();
  ~LogCloseDeferral();
  LogCloseDeferral(const LogCloseDeferral&) = delete;
  LogCloseDeferral& operator=(const LogCloseDeferral&) = delete;
};

/// Flushes the log file and the standard streams.
void LogFlush();

/// Ends the process with `exitCode` after flushing the log. Every fatal path of the launcher
/// goes through here; exit handlers registered with std::atexit run (they stop the splash).
[[noreturn]] void EndProcess(int exitCode);

/// Prints a line for whoever watches the console and not for the log file: on standard output
/// while the console echo is on. The launcher turns the echo off on POSIX unless asked
/// (FERROLAN_LOG_ECHO=1), so standard output carries only what the application prints there.
void ConsolePrintf(const char* format, ...) FERROLAN_PRINTF(1, 2);

/// Turns the console echo off or on (on by default); the log file, when open, still gets every
/// message. The packager turns the echo off while it runs the launcher's own readers over a
/// payload: their per-entry lines are no business of its user.
void SetConsoleEnabled(bool enabled);

/// Test seams: the millisecond clock and the console stream the log writes to.
/// Passing nullptr restores the defaults (the OS monotonic clock, stdout).
using ClockFn = std::uint64_t (*)();
void SetClockForTesting(ClockFn clock);
void SetConsoleForTesting(std::FILE* console);
/// Forgets the previous message's time, so the next prefix is 0 again.
void ResetTimingForTesting();

}  // namespace ferrolan::log
