#include "launcher/update_run.h"

#include <cstdio>

#include "archive/signature.h"
#include "fs/path.h"
#include "fs/versioned_folder.h"
#include "jre/cacerts.h"
#include "jre/jre_layout.h"
#include "launch/jni_launch.h"
#include "launcher/extractor.h"
#include "launcher/failure_report.h"
#include "launcher/jre_setup.h"
#include "log/log.h"
#include "process/spawner.h"
#include "splash/splash_control.h"
#include "tail/payload_layout.h"
#include "update/update_state.h"

namespace ferrolan::launcher {
namespace {

using log::LogError;
using log::LogPrintf;

// A line for the application's side: on standard output whatever the console echo says.
void Say(const std::string& line) {
  std::printf("FLUPDATE %s\n", line.c_str());
  std::fflush(stdout);
}

// Installs what `check` found now, the splash showing the progress.
bool InstallNow(const MainFlow& flow, const update::UpdateCheck& check) {
  update::InstallOptions options = UpdateInstallOptionsFor(flow);
  options.progress = [](int percent) { splash::SplashSetProgress(percent); };
  splash::SplashSetProgress(0);
  return update::InstallUpdates(UpdateContextFor(flow), check.newer, options) ==
         update::InstallStatus::kInstalled;
}

void ShowSplash(const MainFlow& flow) {
  if (flow.silentInstall || flow.prepareOnly) return;
  if (const std::optional<std::string> updater =
          fs::PickFolder(flow.masterFolder, tail::kUpdaterName)) {
    std::string image = flow.masterFolder;
    fs::PathJoin(image, *updater);
    fs::PathJoin(image, tail::kSplashFileName);
    splash::SplashSetBorder(flow.dynamic.splashBorder);
    splash::SplashConfigure(image);
  }
  splash::SplashShow();
}

// Whether a runtime's shipped class-data archive loads: "-Xshare:on" refuses to start without a
// usable one. Checking takes a few tens of milliseconds; making it anew, about half a second.
bool ClassDataLoads(const std::string& javaLauncher) {
  process::Spawner spawner = process::SpawnerCreate();
  process::SpawnerSetExe(spawner, javaLauncher);
  process::SpawnerAppend(spawner, "-Xshare:on");
  process::SpawnerAppend(spawner, "-version");
  std::string output;
  return process::runSpawnerAndWaitQuietly(spawner, output) == 0;
}

// Java ends the process (System.exit): the update beside it gets its grace first, then the
// process ends the launcher's one way, with Java's exit code.
void EndFromJava(int exitCode) {
  update::BackgroundUpdate::FinishRunning();
  EndRun(static_cast<ExitCode>(exitCode));
}

}  // namespace

bool InstallRequiredUpdate(MainFlow& flow) {
  if (flow.updateUrl.empty() || !archive::ProcessPublicKey()) return false;
  const update::UpdateContext context = UpdateContextFor(flow);
  const std::optional<archive::UpdateMetadata> kept =
      update::AcceptedMetadata(flow.sharedConfigFolder, context.key);
  if (!kept || !update::UpdateRequired(context, *kept)) return false;
  log::LogPrintf("[Update] The installed version must update before it starts\n");
  ShowSplash(flow);
  splash::SplashSetProgress(-1);
  const update::UpdateCheck check = update::CheckForUpdates(context);
  const bool installed = check.status == update::CheckStatus::kAvailable &&
                         update::UpdateRequired(context, *check.metadata) &&
                         InstallNow(flow, check);
  splash::SplashCleanup();
  if (installed) {
    log::LogPrintf("[Update] The required update is installed\n");
    return true;
  }
  const std::optional<archive::UpdateMetadata>& latest = check.metadata ? check.metadata : kept;
  if (update::InstalledVersion(flow.masterFolder, flow.appName) <
      archive::VersionValue(latest->minimumVersion)) {
    TellUser(flow.appName,
             "An update of " + flow.appName +
                 " is required, but it cannot be installed now. The installed version starts; "
                 "the update is installed at a later start.",
             flow.silentInstall || flow.prepareOnly);
  } else {
    log::LogPrintf("[Update] The update cannot be installed now; starting the installed version\n");
  }
  return false;
}

bool InstallApplicationFromUpdates(const MainFlow& flow) {
  LogPrintf("[Update] Installing the application from the update folder\n");
  const update::UpdateCheck check = update::CheckForUpdates(UpdateContextFor(flow));
  if (check.status != update::CheckStatus::kAvailable ||
      !check.metadata->Find(archive::UpdateComponentKind::kApp)) {
    LogError("[Update] The update folder offers no application to install (%s)\n",
             update::CheckStatusWord(check.status));
    return false;
  }
  if (!InstallNow(flow, check)) {
    LogError("[Update] The application could not be installed from the update folder\n");
    return false;
  }
  return true;
}

update::UpdateContext UpdateContextFor(const MainFlow& flow) {
  update::UpdateContext context;
  context.masterFolder = flow.masterFolder;
  context.sharedConfigFolder = flow.sharedConfigFolder;
  context.appName = flow.appName;
  context.jreName = flow.jreName;
  context.updateUrl = flow.updateUrl;
  context.key = archive::ProcessPublicKey();
  return context;
}

update::InstallOptions UpdateInstallOptionsFor(const MainFlow& flow) {
  update::InstallOptions options;
  const std::string masterFolder = flow.masterFolder;
  options.prepareJre = [masterFolder](const std::string& jreFolder) {
    const std::string java = jre::LocateJavaLauncher(jreFolder);
    if (ClassDataLoads(java))
      LogPrintf("[Update] The runtime's own class data loads; keeping it\n");
    else
      SystemJreSetupOps().regenerateClassData(java);
    if (const std::optional<std::string> updater =
            fs::PickFolder(masterFolder, tail::kUpdaterName)) {
      std::string cacerts = masterFolder;
      fs::PathJoin(cacerts, *updater);
      fs::PathJoin(cacerts, tail::kCacertsFileName);
      jre::ApplyCacertsOverride(cacerts, jreFolder);
    }
  };
  return options;
}

std::unique_ptr<update::BackgroundUpdate> StartBackgroundUpdate(const MainFlow& flow) {
  if (flow.prepareOnly || flow.updateUrl.empty() || !archive::ProcessPublicKey()) return nullptr;
  log::LogPrintf("[Update] Checking for updates beside the application\n");
  launch::SetJavaExitHandler(&EndFromJava);
  return std::make_unique<update::BackgroundUpdate>(UpdateContextFor(flow),
                                                    UpdateInstallOptionsFor(flow), kUpdateSettleMs);
}

ExitCode UpdateCommand(const std::string& programPath, bool download) {
  log::SetConsoleEnabled(false);  // standard output carries the answer alone
  MainFlow flow;
  flow.programPath = programPath;
  flow.prepareOnly = true;  // nothing is shown
  if (!StartUpQuietly(flow)) {
    Say("failed the launcher's settings cannot be read");
    return ExitCode::kFailure;
  }
  const update::UpdateContext context = UpdateContextFor(flow);
  const update::UpdateCheck check = update::CheckForUpdates(context);
  if (check.status != update::CheckStatus::kAvailable) {
    Say(std::string("none ") + update::CheckStatusWord(check.status));
    return ExitCode::kSuccess;
  }
  if (!download) {
    Say("available " + check.appVersion);
    return ExitCode::kSuccess;
  }
  update::InstallOptions options = UpdateInstallOptionsFor(flow);
  options.progress = [](int percent) { Say("progress " + std::to_string(percent)); };
  switch (update::InstallUpdates(context, check.newer, options)) {
    case update::InstallStatus::kInstalled:
      Say("ready " + check.appVersion);
      return ExitCode::kSuccess;
    case update::InstallStatus::kBusy:
      Say("failed another launcher is installing updates");
      return ExitCode::kSuccess;
    case update::InstallStatus::kFailed:
    case update::InstallStatus::kStopped:
      break;
  }
  Say("failed the update could not be installed; see the launcher's log");
  return ExitCode::kSuccess;
}

}  // namespace ferrolan::launcher
