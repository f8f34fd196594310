// Updates in the main flow: the check that runs beside the application on a start that runs
// what is installed, and the two commands the application's side runs the launcher with to
// check for and download an update itself.
#pragma once

#include <memory>
#include <string>

#include "launcher/exit_codes.h"
#include "launcher/main_flow.h"
#include "update/background_update.h"

namespace ferrolan::launcher {

/// How long the check waits after the start, so the application's start has the machine.
inline constexpr unsigned kUpdateSettleMs = 1500;

/// The update code's view of this run's installation.
update::UpdateContext UpdateContextFor(const MainFlow& flow);

/// The install's options for this run: a JRE is made ready as the JRE setup makes it.
update::InstallOptions UpdateInstallOptionsFor(const MainFlow& flow);

/// Starts the check beside the application, unless the run has no update folder, no key to
/// trust one with, or is prepare-only.
std::unique_ptr<update::BackgroundUpdate> StartBackgroundUpdate(const MainFlow& flow);

/// Before a start that runs what is installed: when the metadata kept from an earlier check says
/// the installed application must update first (a critical release, or a version below the
/// minimum), checks again and installs the update now, the splash showing its progress. When
/// that fails the installed version starts all the same, and a user below the minimum is told
/// that an update is required. True when something was installed.
bool InstallRequiredUpdate(MainFlow& flow);

/// The first start of a launcher without an application: installs the newest application the
/// update folder offers (with any newer updater or JRE), the splash showing its progress. False
/// after a failure whose message has been logged.
bool InstallApplicationFromUpdates(const MainFlow& flow);

/// The run modes FLUPDATE_CHECK (`download` false) and FLUPDATE_DOWNLOAD: the application's
/// side reads their lines on standard output, each starting with "FLUPDATE ":
/// "available <version>" or "none <reason>" for the check; "progress <percent>" lines, then
/// "ready <version>", "none <reason>" or "failed <reason>" for the download.
ExitCode UpdateCommand(const std::string& programPath, bool download);

}  // namespace ferrolan::launcher
