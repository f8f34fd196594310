#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "launcher/failure_report_os.h"

extern char** environ;

namespace ferrolan::launcher::detail {
namespace {

// The first of the desktops' dialog tools on the PATH, with its arguments for an error message.
std::vector<std::string> DialogCommand(const std::string& title, const std::string& text) {
  const char* path = std::getenv("PATH");
  const std::string folders = path != nullptr ? path : "/usr/bin:/bin";
  const auto found = [&](const char* tool) {
    std::size_t start = 0;
    while (start <= folders.size()) {
      std::size_t end = folders.find(':', start);
      if (end == std::string::npos) end = folders.size();
      const std::string candidate = folders.substr(start, end - start) + "/" + tool;
      if (end > start && access(candidate.c_str(), X_OK) == 0) return true;
      start = end + 1;
    }
    return false;
  };
  if (found("zenity"))
    return {"zenity", "--error", "--no-markup", "--title=" + title, "--text=" + text};
  if (found("kdialog")) return {"kdialog", "--title", title, "--error", text};
  if (found("xmessage")) return {"xmessage", "-center", title + ": " + text};
  return {};
}

}  // namespace

void ShowFailure(const std::string& title, const std::string& text, bool dialog) {
  std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
  std::fflush(stderr);
  const char* display = std::getenv("DISPLAY");
  if (!dialog || display == nullptr || *display == '\0') return;
  const std::vector<std::string> command = DialogCommand(title, text);
  if (command.empty()) return;
  std::vector<char*> argv;
  for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  // The dialog outlives the launcher, which ends right after this; nobody waits for it. It
  // gets none of the launcher's streams: a caller reading the launcher's output would otherwise
  // wait until the user closed the dialog.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null",
                                     fd == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
  pid_t child = 0;
  posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
}

}  // namespace ferrolan::launcher::detail
