// The Extractor main flow: from reading the payload to launching the application.
#pragma once

#include <string>

namespace ferrolan::launcher {

/// Runs the main flow for a normal run. Never returns: ends the process with exit code 0 after
/// a launch or a prepare-only run, 1 after any failure.
/// \param programPath  element 0 of the argument vector; the launcher's own file
/// \param argCount     the number of arguments after the program path
/// \param args         those arguments, handed on to the Java application unchanged
/// \param prepareOnly  prepare the installation without showing anything or launching
[[noreturn]] void Extractor(const std::string& programPath, int argCount, char** args,
                            bool prepareOnly);

}  // namespace ferrolan::launcher
