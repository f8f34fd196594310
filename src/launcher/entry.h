// The launcher's entry point, shared by the executable and the tests.
#pragma once

#include "launcher/exit_codes.h"

namespace ferrolan::launcher {

/// Runs the launcher with the C runtime's arguments and returns the exit code the process is
/// to end with (main ends it through EndRun).
ExitCode LauncherMain(int argc, char** argv);

}  // namespace ferrolan::launcher
