// POSIX backend of the Spawner: posix_spawnp with the argument list itself, so no quoting is
// involved; the executable is looked up on PATH when it holds no slash, as CreateProcessA
// searches for a bare name.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "process/spawner.h"
#include "process/spawner_os.h"

extern char** environ;

namespace ferrolan::process {

namespace detail {

namespace {

class Fd {
 public:
  Fd() = default;
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Close(); }
  int* Address() { return &fd_; }
  int get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

class FileActions {
 public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

// Reads the pipe to its end, keeping the first kMaxCapturedOutput bytes.
void ReadAll(int fd, std::string& output) {
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    const std::size_t room = kMaxCapturedOutput - std::min(output.size(), kMaxCapturedOutput);
    output.append(buffer, std::min(room, static_cast<std::size_t>(got)));
  }
}

}  // namespace

SpawnOutcome StartProcess(const std::vector<std::string>& arguments, std::string, bool wait,
                          std::string* output, int waitAtMostMs) {
  SpawnOutcome outcome;
  if (arguments.empty()) {
    outcome.error = ENOENT;
    return outcome;
  }
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  // With output wanted, the child's standard output and error are the write end of a pipe;
  // both pipe ends close in the child when it executes, leaving only its copies.
  Fd pipeEnds[2];
  FileActions actions;
  if (output != nullptr) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
      outcome.error = errno;
      return outcome;
    }
    *pipeEnds[0].Address() = fds[0];
    *pipeEnds[1].Address() = fds[1];
    posix_spawn_file_actions_adddup2(actions.get(), fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), fds[1], STDERR_FILENO);
  }
  pid_t pid = 0;
  int error = posix_spawnp(&pid, argv[0], output != nullptr ? actions.get() : nullptr, nullptr,
                           argv.data(), environ);
  if (error != 0) {
    outcome.error = error;
    return outcome;
  }
  outcome.started = true;
  if (output != nullptr) {
    pipeEnds[1].Close();  // the child's copies are the last writers: end of file once it ends
    ReadAll(pipeEnds[0].get(), *output);
  }
  // A child that is not waited for is never reaped here: the launcher ends right after such a
  // launch, and the child is then adopted and reaped by the system.
  if (!wait) return outcome;

  int status = 0;
  if (waitAtMostMs >= 0) {
    // Polled: a child that is still running at the end is left to run (and to the system to
    // reap once the launcher has ended).
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(waitAtMostMs);
    for (;;) {
      const pid_t ended = waitpid(pid, &status, WNOHANG);
      if (ended == pid) break;
      if (ended < 0 && errno != EINTR) {
        outcome.exitCode = -1;
        return outcome;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        outcome.stillRunning = true;
        return outcome;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  } else {
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) {
        outcome.exitCode = -1;
        return outcome;
      }
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
