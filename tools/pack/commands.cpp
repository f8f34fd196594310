#include "commands.h"

#include <cstdio>

#include "cli.h"
#include "usage.h"

namespace ferrolan::pack {
int ReportUsageError(const char* command, const std::string& message, const char* usage) {
  std::fprintf(stderr, "ferrolan-pack %s: %s\n\n%s", command, message.c_str(), usage);
  return kExitUsage;
}

std::optional<CommandLine> ParseCommandArguments(const std::vector<std::string>& args,
                                                 std::span<const OptionDef> options,
                                                 const char* command, const char* usage,
                                                 int* exitCode) {
  CommandLine line = ParseCommandLine(args, options);
  if (line.help && line.error.empty()) {
    std::fputs(usage, stdout);
    *exitCode = kExitOk;
    return std::nullopt;
  }
  *exitCode = kExitUsage;
  if (!line.error.empty()) {
    ReportUsageError(command, line.error, usage);
    return std::nullopt;
  }
  return line;
}

int ReportFailure(const char* command, const std::string& message) {
  std::fprintf(stderr, "ferrolan-pack %s: %s\n", command, message.c_str());
  return kExitFailed;
}

int RunPack(const std::vector<std::string>& args) {
  if (args.empty()) {
    std::fprintf(stderr, "ferrolan-pack: no command given\n\n%s", kUsage);
    return kExitUsage;
  }
  const std::string& command = args.front();
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "keygen") return RunKeygen(rest);
  if (command == "archive") return RunArchive(rest);
  if (command == "build") return RunBuild(rest);
  if (command == "publish") return RunPublish(rest);
  if (command == "stamp") return RunStamp(rest);
  if (command == "inspect") return RunInspect(rest);
  if (command == "sign") return RunSign(rest);
  if (command == "help" || command == "--help" || command == "-h") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  std::fprintf(stderr, "ferrolan-pack: unknown command \"%s\"\n\n%s", command.c_str(), kUsage);
  return kExitUsage;
}

}  // namespace ferrolan::pack
