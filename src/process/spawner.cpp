// The portable part of the Spawner: the argument table, the quoted command line, the Java
// argument list and the log lines. Process creation is in spawner_win.cpp / spawner_posix.cpp.
#include "process/spawner.h"

#include "log/log.h"
#include "process/spawner_os.h"

namespace ferrolan::process {
namespace {

using log::LogFlush;
using log::LogPrintf;

std::optional<std::string> CommandLineOrRefusal(const Spawner& spawner) {
  std::optional<std::string> line = BuildCommandLine(spawner);
  if (!line) {
    LogPrintf("[Spawner] The command line is longer than %zu bytes; the process is not started\n",
              Spawner::kCommandLineCapacity - 1);
    LogFlush();
  }
  return line;
}

void LogCreateFailure(int error) {
  LogPrintf("CreateProcess failed (%d).\n", error);
  LogFlush();
}

}  // namespace

Spawner SpawnerCreate() {
  LogPrintf("[Spawner] Creating spawner\n");
  return Spawner{};
}

void SpawnerAppend(Spawner& spawner, std::string_view argument) {
  std::string copy(argument);
  if (spawner.arguments.size() >= Spawner::kMaxArguments) {
    LogPrintf("[Spawner] WARNING: couldn't append argument %s\n", copy.c_str());
    return;
  }
  spawner.arguments.push_back(copy);
  LogPrintf("[Spawner] Appended argument %s\n", copy.c_str());
}

void SpawnerSetExe(Spawner& spawner, std::string_view executable) {
  std::string copy(executable);
  LogPrintf("[Spawner] Setting spawner exe to %s\n", copy.c_str());
  LogFlush();
  SpawnerAppend(spawner, copy);
}

std::string QuoteArgument(std::string_view argument) {
  // The child's argv parser reads 2n backslashes before a quote as n backslashes and the quote
  // as a delimiter, 2n+1 as n backslashes and a literal quote; backslashes elsewhere are
  // literal. So only runs of backslashes that precede a quote (the closing one included) are
  // doubled, and an ordinary argument comes out merely enclosed.
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      quoted.append(backslashes * 2 + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    quoted.push_back(c);
    backslashes = 0;
  }
  quoted.append(backslashes * 2, '\\');
  quoted.push_back('"');
  return quoted;
}

std::optional<std::string> BuildCommandLine(const Spawner& spawner) {
  std::string line;
  for (const std::string& argument : spawner.arguments) {
    line += QuoteArgument(argument);
    line.push_back(' ');
    if (line.size() >= Spawner::kCommandLineCapacity) return std::nullopt;
  }
  return line;
}

namespace {

// Builds and logs the command line and starts the child; none, after logging why, when it
// could not be started. `announce` is logged first, `commandFormat` with the line.
std::optional<detail::SpawnOutcome> Start(const Spawner& spawner, bool wait, const char* announce,
                                          const char* commandFormat, std::string* output = nullptr,
                                          int waitAtMostMs = -1) {
  LogPrintf("%s", announce);
  LogFlush();
  std::optional<std::string> line = CommandLineOrRefusal(spawner);
  if (!line) return std::nullopt;
  LogPrintf(commandFormat, line->c_str());
  LogFlush();
  detail::SpawnOutcome outcome =
      detail::StartProcess(spawner.arguments, *line, wait, output, waitAtMostMs);
  if (!outcome.started) {
    LogCreateFailure(outcome.error);
    return std::nullopt;
  }
  return outcome;
}

}  // namespace

int runSpawnerAndWait(const Spawner& spawner) {
  std::optional<detail::SpawnOutcome> outcome =
      Start(spawner, true, "[Spawner] Constructing command line...\n",
            "[Spawner] Creating command line '%s'\n");
  if (!outcome) return -1;
  LogPrintf("[Spawner] runSpawnerAndWait returned %d\n", outcome->exitCode);
  return outcome->exitCode;
}

int runSpawnerAndWaitQuietly(const Spawner& spawner, std::string& output) {
  std::optional<detail::SpawnOutcome> outcome =
      Start(spawner, true, "[Spawner] Constructing command line...\n",
            "[Spawner] Creating command line '%s'\n", &output);
  if (!outcome) return -1;
  LogPrintf("[Spawner] runSpawnerAndWait returned %d\n", outcome->exitCode);
  return outcome->exitCode;
}

WatchedStart SpawnerRunWatched(const Spawner& spawner, int graceMs) {
  std::optional<detail::SpawnOutcome> outcome =
      Start(spawner, true, "[Spawner] Constructing command...\n",
            "[Spawner] Executing command '%s'\n", nullptr, graceMs);
  if (!outcome) return {};
  WatchedStart watched;
  watched.started = true;
  watched.ended = !outcome->stillRunning;
  watched.exitCode = outcome->exitCode;
  if (watched.ended) {
    LogPrintf("[Spawner] The process ended within %d ms with exit code %d\n", graceMs,
              watched.exitCode);
  } else {
    LogPrintf("[Spawner] Create process seems to have worked\n");
  }
  LogFlush();
  return watched;
}

int SpawnerRun(const Spawner& spawner) {
  if (!Start(spawner, false, "[Spawner] Constructing command...\n",
             "[Spawner] Executing command '%s'\n")) {
    return -1;
  }
  LogPrintf("[Spawner] Create process seems to have worked\n");
  LogFlush();
  return 0;
}

}  // namespace ferrolan::process
