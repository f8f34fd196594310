// The state the Extractor main flow keeps from start-up to the hand-over. Start-up
// (extractor.cpp) fills it; the extraction (extraction.cpp) and the JRE setup use it.
#pragma once

#include <optional>
#include <string>

#include "desktop/desktop.h"
#include "launch/launch_sequence.h"
#include "launcher/exit_codes.h"
#include "tail/params.h"
#include "tail/properties_block.h"
#include "tail/tail_reader.h"

namespace ferrolan::launcher {

/// Everything the flow keeps from start-up to the hand-over.
struct MainFlow {
  std::string programPath;
  std::string absoluteWrapperPath;
  int argCount = 0;
  char** args = nullptr;
  bool prepareOnly = false;

  tail::LaunchPropertiesBlock properties;
  tail::DynamicProperties dynamic;
  std::optional<tail::WrapperTail> wrapperTail;
  std::string jreName;
  std::string tailUpdateUrl;  // the tail's "Update URL" field as read ("D": the dynamic one)
  std::string updateUrl;      // effective: static or dynamic, with a trailing "/" when not empty
  bool silentInstall = false;
  std::string sharedDir;
  std::string masterFolder;
  std::string sharedConfigFolder;
  std::string appName;             // the tail's App Name, once the tail is read
  std::string logPath;             // the run's log file, once it is open
  std::string launchFailure;       // why the application did not start, for the user
  bool applicationFailed = false;  // the application ran and reported its own failure
  /// The installation as the desktop integration sees it; set once start-up has succeeded.
  std::optional<desktop::Installation> desktop;
};

/// Makes the desktop integration that is missing (the launcher's copy, shortcuts, entries).
/// Failures are logged and never stop the run; nothing happens before start-up has succeeded
/// or when integration is turned off.
void IntegrateDesktop(const MainFlow& flow);

/// A Java throwable's text as the user reads it: without the class name in front of its message.
std::string UserFacingThrowable(const std::string& text);

/// The exit code of an application launch; a launch that did not start the application leaves
/// its reason in the flow for the user.
ExitCode ApplicationLaunchExit(MainFlow& flow, const launch::LaunchOutcome& outcome);

/// The launch of `appFolderName` (relative to the master folder) for this run: its properties,
/// arguments, update URLs and force-spawn setting. `jreName` is the private JRE's name for the
/// application launch, the candidate's launcher for the compatibility test.
launch::LaunchRequest LaunchRequestFor(const MainFlow& flow, const std::string& appFolderName,
                                       const std::string& jreName, launch::LaunchClass launchClass);

}  // namespace ferrolan::launcher
