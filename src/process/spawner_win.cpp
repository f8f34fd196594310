// Windows backend of the Spawner: CreateProcessA with the quoted command line, no application
// name (Windows takes the executable from the first quoted token), handle inheritance on, the
// launcher's environment and current directory, default startup information.
#include "os/windows.h"

#include <algorithm>
#include <string>

#include "process/spawner.h"
#include "process/spawner_os.h"

namespace ferrolan::process {

namespace detail {

namespace {

// Reads the pipe to its end, keeping the first kMaxCapturedOutput bytes.
void ReadAll(HANDLE pipe, std::string& output) {
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    const std::size_t room = kMaxCapturedOutput - std::min(output.size(), kMaxCapturedOutput);
    output.append(buffer, std::min<std::size_t>(room, got));
  }
}

}  // namespace

SpawnOutcome StartProcess(const std::vector<std::string>&, std::string commandLine, bool wait,
                          std::string* output, int waitAtMostMs) {
  SpawnOutcome outcome;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  DWORD flags = 0;
  // With output wanted, the child writes into an inheritable pipe end; the reading end stays
  // with the launcher. A console program then needs no console window of its own.
  os::ScopedHandle readEnd;
  os::ScopedHandle writeEnd;
  if (output != nullptr) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    if (!CreatePipe(&reader, &writer, &inheritable, 0)) {
      outcome.error = static_cast<int>(GetLastError());
      return outcome;
    }
    readEnd = os::ScopedHandle(reader);
    writeEnd = os::ScopedHandle(writer);
    SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writer;
    startup.hStdError = writer;
    flags = CREATE_NO_WINDOW;
  }
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                      &startup, &info)) {
    outcome.error = static_cast<int>(GetLastError());
    return outcome;
  }
  os::ScopedHandle process(info.hProcess);
  os::ScopedHandle thread(info.hThread);
  outcome.started = true;
  if (output != nullptr) {
    writeEnd.Close();  // the child's copy is the last writer: end of file once it ends
    ReadAll(readEnd.get(), *output);
  }
  if (!wait) return outcome;

  const DWORD limit = waitAtMostMs >= 0 ? static_cast<DWORD>(waitAtMostMs) : INFINITE;
  if (WaitForSingleObject(process.get(), limit) == WAIT_TIMEOUT) {
    outcome.stillRunning = true;
    return outcome;
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(process.get(), &code)) code = static_cast<DWORD>(-1);
  outcome.exitCode = static_cast<int>(code);
  return outcome;
}

}  // namespace detail
}  // namespace ferrolan::process
