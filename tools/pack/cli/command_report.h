// How every command talks to the person who runs it: help on request, usage errors with the
// command's usage text, failures with one line, all under "ferrolan-pack COMMAND: ". The commands
// return the exit code these give; nothing here ends the process.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "pack/cli/cli.h"

namespace ferrolan::pack {

/// Prints "ferrolan-pack COMMAND: MESSAGE" and the command's usage to standard error and returns
/// kExitUsage.
int ReportUsageError(const char* command, const std::string& message, const char* usage);

/// Parses the arguments of `command` against `options`. None when the command ends here: help
/// was shown (`*exitCode` is kExitOk) or a usage error was reported (kExitUsage).
std::optional<CommandLine> ParseCommandArguments(const std::vector<std::string>& args,
                                                 std::span<const OptionDef> options,
                                                 const char* command, const char* usage,
                                                 int* exitCode);

/// Prints "ferrolan-pack COMMAND: MESSAGE" to standard error and returns kExitFailed.
int ReportFailure(const char* command, const std::string& message);

}  // namespace ferrolan::pack
