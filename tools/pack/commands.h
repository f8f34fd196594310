// The subcommands of ferrolan-pack. Each takes the arguments after its own name, prints what it
// did to standard output and problems to standard error, and returns a process exit code:
// kExitOk, kExitFailed when the work could not be done, kExitUsage for bad arguments. Nothing
// ends the process, so the tests run every command in-process.
//
// The commands live in their families' folders: keygen and archive in archive/, build and
// publish in release/, stamp, inspect and sign in packaged/ (docs/layout.md).
#pragma once

#include <string>
#include <vector>

namespace ferrolan::pack {

/// Dispatches on the first argument ("keygen", "archive", "build", "publish", "stamp",
/// "inspect", "sign", "help", "--help").
int RunPack(const std::vector<std::string>& args);

}  // namespace ferrolan::pack
