// The install decision of a normal run: whether what is installed in the master folder is
// good enough to be run as it is, or whether the payload must be extracted. Portable.
#pragma once

#include <optional>
#include <string>

namespace ferrolan::launcher {

enum class InstallAction { RunInstalled, Extract };

/// What the decision looks at.
struct InstallState {
  std::string masterFolder;
  std::string appName;
  std::string jreName;
  std::string guVersion;   // the tail's "GU Version"; empty in a bare launcher
  std::string appVersion;  // the tail's "App Version"; empty in an online build
};

/// What the decision found, for the extraction that may follow.
struct InstallDecision {
  InstallAction action = InstallAction::Extract;
  std::optional<std::string> latestUpdaterFolder;  // relative to the master folder
  std::optional<std::string> latestJreFolder;      // none when missing or broken
};

/// True when the JRE folder holds both launchers (bin/java.exe and bin/javaw.exe on Windows,
/// bin/java on POSIX) and a class library: lib/rt.jar or jre/lib/rt.jar as Java 8 has it, or
/// lib/modules, the runtime image of Java 9 and later, which has no rt.jar. Each probe is logged.
bool IsJreSound(const std::string& jreFolder);

/// Picks the latest updater and JRE folders, checks the JRE, and decides by the version table,
/// logging each step. Versions are compared as integers; a tie keeps what is installed.
InstallDecision DecideInstall(const InstallState& state);

}  // namespace ferrolan::launcher
