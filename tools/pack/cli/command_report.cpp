#include "pack/cli/command_report.h"

#include <cstdio>

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

}  // namespace ferrolan::pack
