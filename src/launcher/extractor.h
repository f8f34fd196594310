// The Extractor main flow: from reading the payload to launching the application.
#pragma once

#include <string>

#include "launcher/exit_codes.h"

namespace ferrolan::launcher {

/// Runs the main flow for a normal run and returns the exit code the process is to end with:
/// kSuccess after a launch (an in-process launch has ended by then) or a prepare-only run,
/// kFailure after any failure whose message has been logged, or the launch's own code.
/// \param programPath  element 0 of the argument vector; the launcher's own file
/// \param argCount     the number of arguments after the program path
/// \param args         those arguments, handed on to the Java application unchanged
/// \param prepareOnly  prepare the installation without showing anything or launching
ExitCode Extractor(const std::string& programPath, int argCount, char** args, bool prepareOnly);

/// Runs an uninstall: reads the launcher's own settings as a start does, without writing
/// anything, and removes the installation they name (desktop::Uninstall). kSuccess when it is
/// gone or was never there, kFailure after a logged failure or refusal.
ExitCode Uninstaller(const std::string& programPath);

struct MainFlow;

/// Start-up without a user interface: the launcher's settings, the log file, the overrides and
/// the master folder's shared-config folder, as a normal run has them before its install
/// decision. False after a failure whose message has been logged.
bool StartUpQuietly(MainFlow& flow);

}  // namespace ferrolan::launcher
