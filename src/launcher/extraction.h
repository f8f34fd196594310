// The second half of the Extractor main flow: installs what the payload carries into versioned
// folders of the master folder and hands over to the newest updater. Every folder is filled
// under a temporary name and renamed to its versioned name only when complete, so PickFolder
// never sees a half-written installation. The tail entries are consumed strictly in order:
// lzma.exe, nativesplash.png, cacerts, the updater archive, the updater version file, the JRE
// archive when a JRE is embedded, then the application archive and its version file when an
// application is embedded.
//
// A component whose installed version is at least as new as the embedded one is not installed
// again: its entries are read past, and the folder in place is used. Replacing an identical
// folder would only risk a folder that a running application still uses.
//
// Platforms: portable. lzma.exe is made a windowed program on Windows; on POSIX the patch
// leaves a file that is no PE image alone.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "launcher/exit_codes.h"
#include "launcher/install_decision.h"
#include "launcher/jre_setup.h"
#include "launcher/main_flow.h"
#include "net/proxy_settings.h"
#include "pipeline/ring_buffer.h"

namespace ferrolan::launcher {

/// Reads one tail entry past without writing anything: its header fields and, unless it is a
/// folder, its content. Returns 0, or -1 when the stream ended first.
int SkipTailEntry(pipeline::RingBuffer& tail);

/// The operations the extraction relies on besides the JRE setup's, replaceable in tests.
struct ExtractionOps {
  JreSetupOps jre;
  /// Makes the extracted lzma.exe a windowed program (fs::PatchWindowsSubsystem); false when
  /// the run cannot go on with it.
  std::function<bool(const std::string& path)> patchSubsystem;
  /// The proxy the downloads of this run found to work (net::WorkingProxySettings); none when
  /// no download recorded any.
  std::function<std::optional<net::ProxySettings>()> workingProxy;
  /// The launch of the updater folder (relative to the master folder) with launch class 0.
  /// Returns when an in-process launch has ended or a child was started.
  std::function<launch::LaunchOutcome(const MainFlow& flow, const std::string& updaterFolderName)>
      launch;
  /// The desktop integration of a finished install (IntegrateDesktop), made before the launch;
  /// unset in tests that must not touch the user's menus.
  std::function<void(const MainFlow& flow)> integrateDesktop;
  /// A launcher without an application, on a master folder without one: installs the newest
  /// application of the update folder (InstallApplicationFromUpdates); false after a failure.
  /// Unset, the run goes on without an application, as the tests of the payload's steps do.
  std::function<bool(const MainFlow& flow)> installApplication;
};

/// The real operations.
ExtractionOps SystemExtractionOps();

/// Extracts the payload, sets up the JRE and, unless the run is prepare-only, launches the
/// newest updater. Returns the exit code the process is to end with: kSuccess after the launch
/// or the preparation, kFailure after a failure whose message has been logged (a rejected
/// archive, a file that cannot be written, a program that cannot be made windowed among
/// them), or the launch's own code.
ExitCode ExtractAndPrepare(MainFlow& flow, const InstallDecision& decision,
                           const ExtractionOps& ops);

}  // namespace ferrolan::launcher
