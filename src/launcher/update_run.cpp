#include "launcher/update_run.h"

#include <cstdio>

#include "archive/signature.h"
#include "fs/path.h"
#include "fs/versioned_folder.h"
#include "jre/cacerts.h"
#include "jre/jre_layout.h"
#include "launcher/extractor.h"
#include "launcher/jre_setup.h"
#include "log/log.h"
#include "tail/payload_layout.h"

namespace ferrolan::launcher {
namespace {

// A line for the application's side: on standard output whatever the console echo says.
void Say(const char* format, const std::string& value) {
  std::printf("FLUPDATE ");
  std::printf(format, value.c_str());
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

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
    SystemJreSetupOps().regenerateClassData(jre::LocateJavaLauncher(jreFolder));
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
  return std::make_unique<update::BackgroundUpdate>(UpdateContextFor(flow),
                                                    UpdateInstallOptionsFor(flow), kUpdateSettleMs);
}

ExitCode UpdateCommand(const std::string& programPath, bool download) {
  log::SetConsoleEnabled(false);  // standard output carries the answer alone
  MainFlow flow;
  flow.programPath = programPath;
  flow.prepareOnly = true;  // nothing is shown
  if (!StartUpQuietly(flow)) {
    Say("failed %s", "the launcher's settings cannot be read");
    return ExitCode::kFailure;
  }
  const update::UpdateContext context = UpdateContextFor(flow);
  const update::UpdateCheck check = update::CheckForUpdates(context);
  if (check.status != update::CheckStatus::kAvailable) {
    Say("none %s", update::CheckStatusWord(check.status));
    return ExitCode::kSuccess;
  }
  if (!download) {
    Say("available %s", check.appVersion);
    return ExitCode::kSuccess;
  }
  update::InstallOptions options = UpdateInstallOptionsFor(flow);
  options.progress = [](int percent) { Say("progress %s", std::to_string(percent)); };
  switch (update::InstallUpdates(context, check.newer, options)) {
    case update::InstallStatus::kInstalled:
      Say("ready %s", check.appVersion);
      return ExitCode::kSuccess;
    case update::InstallStatus::kBusy:
      Say("failed %s", "another launcher is installing updates");
      return ExitCode::kSuccess;
    case update::InstallStatus::kFailed:
    case update::InstallStatus::kStopped:
      break;
  }
  Say("failed %s", "the update could not be installed; see the launcher's log");
  return ExitCode::kSuccess;
}

}  // namespace ferrolan::launcher
