// Windows backend of the Spawner: CreateProcessA with the quoted command line, no application
// name (Windows takes the executable from the first quoted token), handle inheritance on, the
// launcher's environment and current directory, default startup information.
#include "os/windows.h"
#include "process/spawner.h"
#include "process/spawner_os.h"

namespace ferrolan::process {

namespace detail {

char ClasspathSeparator() { return ';'; }

SpawnOutcome StartProcess(const std::vector<std::string>&, std::string commandLine, bool wait) {
  SpawnOutcome outcome;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &info)) {
    outcome.error = static_cast<int>(GetLastError());
    return outcome;
  }
  os::ScopedHandle process(info.hProcess);
  os::ScopedHandle thread(info.hThread);
  outcome.started = true;
  if (!wait) return outcome;

  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(process.get(), &code)) code = static_cast<DWORD>(-1);
  outcome.exitCode = static_cast<int>(code);
  return outcome;
}

}  // namespace detail
}  // namespace ferrolan::process
