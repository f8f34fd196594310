// POSIX backend of the Spawner: posix_spawnp with the argument list itself, so no quoting is
// involved; the executable is looked up on PATH when it holds no slash, as CreateProcessA
// searches for a bare name.
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "process/spawner.h"
#include "process/spawner_os.h"

extern char** environ;

namespace ferrolan::process {

namespace detail {

char ClasspathSeparator() { return ':'; }

SpawnOutcome StartProcess(const std::vector<std::string>& arguments, std::string, bool wait) {
  SpawnOutcome outcome;
  if (arguments.empty()) {
    outcome.error = ENOENT;
    return outcome;
  }
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  pid_t pid = 0;
  int error = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (error != 0) {
    outcome.error = error;
    return outcome;
  }
  outcome.started = true;
  // A child that is not waited for is never reaped here: the launcher ends right after such a
  // launch, and the child is then adopted and reaped by the system.
  if (!wait) return outcome;

  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      outcome.exitCode = -1;
      return outcome;
    }
  }
  if (WIFEXITED(status)) {
    outcome.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    outcome.exitCode = 128 + WTERMSIG(status);
  }
  return outcome;
}

}  // namespace detail
}  // namespace ferrolan::process
