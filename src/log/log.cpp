#include "log/log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "fs/owned_file.h"
#include "fs/path.h"
#include "os/os.h"

namespace ferrolan::log {
namespace {

constexpr const char* kStarLine = "*******************************************\n";
constexpr const char* kPlusLine = "++++++++++++++++++++++++++++++++++++++++++++++++\n";
constexpr const char* kDashLine = "------------------------------------------------\n";

// The log's process-wide state. The lock makes every message whole; it is recursive so that
// LogError can hold it across its three lines.
struct LogState {
  std::recursive_mutex lock;
  std::FILE* file = nullptr;
  std::uint64_t lastTime = 0;
  ClockFn clock = nullptr;
  std::FILE* console = nullptr;
  bool consoleEnabled = true;
  int closeDeferrals = 0;   // LogCloseDeferral objects alive
  bool closeAsked = false;  // LogClose was called while a deferral lived

  std::uint64_t Now() const { return clock != nullptr ? clock() : os::MonotonicMs(); }
  std::FILE* Console() const { return console != nullptr ? console : stdout; }
};

LogState& State() {
  static LogState state;
  return state;
}

FERROLAN_PRINTF(1, 0) std::string Format(const char* format, std::va_list args) {
  std::va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (needed <= 0) return std::string();
  std::vector<char> buffer(static_cast<std::size_t>(needed) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  return std::string(buffer.data(), static_cast<std::size_t>(needed));
}

// One prefixed message to the file (if open) and the console, then the time it ended.
void Write(const std::string& text) {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  std::uint64_t now = s.Now();
  unsigned long long delta = s.lastTime != 0 ? now - s.lastTime : 0;
  if (s.file != nullptr) {
    std::fprintf(s.file, "+%-8llu %s", delta, text.c_str());
    std::fflush(s.file);
  }
  if (s.consoleEnabled) {
    std::FILE* console = s.Console();
    std::fprintf(console, "+%-8llu %s", delta, text.c_str());
    std::fflush(console);
  }
  std::fflush(stderr);
  s.lastTime = s.Now();
  // A clock reading of exactly 0 would make the next message look like the first one.
  if (s.lastTime == 0) s.lastTime = 1;
}

void Banner(const char* line, const char* middlePrefix, const char* label) {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  Write(line);
  Write(std::string(middlePrefix) + label + "\n");
  Write(line);
}

}  // namespace

void LogPrintf(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = Format(format, args);
  va_end(args);
  Write(text);
}

void LogError(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = Format(format, args);
  va_end(args);
  LogState& s = State();
  {
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    Write(kStarLine);
    Write(text);
    Write(kStarLine);
  }
  LogFlush();
}

void LogStart(const char* label) { Banner(kPlusLine, "+++ Start: ", label); }

void LogEnd(const char* label) { Banner(kDashLine, "--- End: ", label); }

void LogSystemError(const char* tag, const char* operation) {
  int code = os::LastErrorCode();
  std::string text = os::SystemErrorText(code);
  LogPrintf("[%s] %s failed with error %d: %s\n", tag, operation, code, text.c_str());
}

std::string LogFileName(int year, int month, int day, int hour, int minute, int second,
                        int millisecond) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d-%02d-%02d-%02d", year, month, day, hour,
                minute, second);
  char name[96];
  std::snprintf(name, sizeof name, "Wrapper-%s-%03d.log", stamp, millisecond);
  return name;
}

std::string LogOpen(const std::string& sharedDir, const std::string& appName) {
  std::string master = fs::MasterFolderPath(sharedDir, appName);
  std::string logs = master;
  fs::PathJoin(logs, "logs");
  // The log is the first of the run to touch the master folder. Ordinary users may be able to
  // write to it while the launcher runs elevated, so from here on nothing under it is reached
  // through a link they planted: not the log file, and nothing that is installed later.
  fs::GuardAgainstLinks(master);
  fs::CreateFolder(master);
  fs::CreateFolder(logs);

  os::LocalTime t = os::LocalTimeNow();
  std::string path = logs;
  fs::PathJoin(path,
               LogFileName(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond));
  LogPrintf("[Extractor] Logging to %s\n", path.c_str());
  std::FILE* file = fs::OpenFile(path, "w").release();
  int result = file != nullptr ? 0 : errno;
  LogPrintf("[Extractor] Opening the file for writing returned %d\n", result);
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  if (s.file != nullptr) std::fclose(s.file);
  s.file = file;
  return path;
}

void LogClose() {
  LogPrintf("[Utils] Closing logging file.\n");
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  if (s.closeDeferrals > 0) {
    s.closeAsked = true;
    if (s.file != nullptr) std::fflush(s.file);
    return;
  }
  if (s.file != nullptr) {
    std::fclose(s.file);
    s.file = nullptr;
  }
}

LogCloseDeferral::LogCloseDeferral() {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  ++s.closeDeferrals;
}

LogCloseDeferral::~LogCloseDeferral() {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  if (--s.closeDeferrals > 0 || !s.closeAsked) return;
  s.closeAsked = false;
  if (s.file != nullptr) {
    std::fclose(s.file);
    s.file = nullptr;
  }
}

void LogFlush() {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  if (s.file != nullptr) std::fflush(s.file);
  std::fflush(s.Console());
  std::fflush(stdout);
  std::fflush(stderr);
}

void EndProcess(int exitCode) {
  LogFlush();
  std::exit(exitCode);  // The one place the launcher ends its process.
}

void SetClockForTesting(ClockFn clock) {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  s.clock = clock;
}

void ConsolePrintf(const char* format, ...) {
  {
    LogState& s = State();
    std::lock_guard<std::recursive_mutex> guard(s.lock);
    if (!s.consoleEnabled) return;
  }
  std::va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

void SetConsoleEnabled(bool enabled) {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  s.consoleEnabled = enabled;
}

void SetConsoleForTesting(std::FILE* console) {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  s.console = console;
}

void ResetTimingForTesting() {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  s.lastTime = 0;
}

}  // namespace ferrolan::log
