// Choosing the kind of run from the command line. Pure: no I/O, so every rule is testable.
#pragma once

#include "desktop/desktop_entry.h"

namespace ferrolan::launcher {

enum class RunMode {
  Normal,          // start-up, then the Extractor main flow
  SplashTest,      // "-TESTSPLASH": scripted splash progress, then exit code 1
  ProxyTest,       // "--quorvantis-proxytest URL"
  ExtractTest,     // "--quorvantis-extracttest ANY"
  DownloadTest2,   // "--quorvantis-downloadtest2 URL"
  DownloadTest,    // "--quorvantis-downloadtest URL [strategy]"
  Uninstall,       // last argument "FLUNINSTALL": remove the installation
  UpdateCheck,     // last argument "FLUPDATE_CHECK": say whether an update is available
  UpdateDownload,  // last argument "FLUPDATE_DOWNLOAD": install an available update
};

struct RunSelection {
  RunMode mode = RunMode::Normal;
  /// Set for a normal run whose last argument is "FLPREPARE_FOR_LAUNCH_ONLY" (with no
  /// arguments the program path itself is the last element, and never matches).
  bool prepareOnly = false;
};

/// The argument that turns a run into an uninstall when it comes last (as the prepare-only
/// argument does); the installed-programs entry runs the launcher's copy with it.
inline constexpr const char* kUninstallArgument = desktop::kUninstallArgument;

/// The last arguments of the update commands (launcher/update_run.h): whether an update is
/// available, and its download and install.
inline constexpr const char* kUpdateCheckArgument = "FLUPDATE_CHECK";
inline constexpr const char* kUpdateDownloadArgument = "FLUPDATE_DOWNLOAD";
/// The argument that turns a normal run into a prepare-only run when it comes last.
inline constexpr const char* kPrepareOnlyArgument = "FLPREPARE_FOR_LAUNCH_ONLY";

/// Selects the run mode from the C runtime's argument count and vector (element 0 is the
/// program path). A developer test option counts only as the first argument and only when at
/// least one further argument follows it; "-TESTSPLASH" counts as the first argument alone.
/// Otherwise a last argument "FLUNINSTALL" selects an uninstall, "FLUPDATE_CHECK" and
/// "FLUPDATE_DOWNLOAD" the update commands the application's side runs.
RunSelection SelectRunMode(int argc, const char* const* argv);

}  // namespace ferrolan::launcher
