// The Extractor main flow: start-up, the install decision, and the hand-over.
#include "launcher/extractor.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "archive/signature.h"
#include "desktop/desktop.h"
#include "fs/file_ops.h"
#include "fs/path.h"
#include "fs/shared_dir.h"
#include "fs/versioned_folder.h"
#include "launch/launch_sequence.h"
#include "launcher/extraction.h"
#include "launcher/failure_report.h"
#include "launcher/install_decision.h"
#include "launcher/main_flow.h"
#include "launcher/update_run.h"
#include "log/log.h"
#include "pipeline/stages.h"
#include "splash/splash_control.h"
#include "tail/params.h"
#include "tail/payload_layout.h"
#include "tail/properties_block.h"
#include "tail/tail_reader.h"

namespace ferrolan::launcher {
namespace {

using log::LogPrintf;

void ImportVerificationKey(const tail::TailFields& fields) {
  const std::string& hex = fields.publicKey;
  if (fields.PublicKeyMissing()) {
    LogPrintf("[Extractor] Public key empty (no public key)\n");
    return;
  }
  if (hex.empty()) {
    LogPrintf("[Extractor] Public key length %d (no public key)\n", 0);
    return;
  }
  std::vector<unsigned char> der(hex.size() / 2 + 2, 0);
  int produced = archive::HexToBytes(der.data(), der.size(), hex);
  LogPrintf("[Extractor] Processed public key of length %d\n", produced);
  LogPrintf("[Extractor] Hex: %s\n", hex.c_str());
  std::unique_ptr<archive::PublicKey> key =
      archive::ImportPublicKey(der.data(), static_cast<std::size_t>(produced));
  // The handle value only tells a support reader whether a key record exists.
  unsigned handle =
      static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(key ? key.get() : nullptr));
  archive::SetProcessPublicKey(std::move(key));
  LogPrintf("[Extractor] Public Key: %08X\n", handle);
}

std::optional<std::string> SharedDirFor(const std::string& installType) {
  LogPrintf("%s", fs::InstallTypeMessage(installType));
  if (fs::IsAllUsersInstall(installType)) return fs::AllUsersSharedDir();
  return fs::UserSharedDir();
}

void ApplyJreNameOverride(MainFlow& flow) {
  std::string path = flow.masterFolder;
  fs::PathJoin(path, "FLApps");
  fs::PathJoin(path, "JreNameOverride");
  fs::OwnedFile file = fs::OpenFile(path, "r");
  if (!file) {
    LogPrintf("[JREOverride] No JRE name override, will continue to use %s\n",
              flow.jreName.c_str());
    return;
  }
  LogPrintf("[JREOverride] Processing JRE Override file (JreNameOverride)\n");
  std::string text = tail::READSTRING(file.get(), "JRE Override App Name", 500);
  if (text == "-") {
    LogPrintf("[JREOverride] Ignoring JRE name -, keeping %s\n", flow.jreName.c_str());
    return;
  }
  flow.jreName = text;
  file.reset();
  LogPrintf("[JREOverride] JRE name overriden to %s\n", flow.jreName.c_str());
}

// Names from the payload and the override file become parts of folder names: one that could
// lead outside the master folder ends the run before anything is written.
bool IsUsableFolderName(const char* what, const std::string& name) {
  if (fs::IsPlainFolderName(name)) return true;
  log::LogError("[Extractor] The %s '%s' cannot be used as a folder name\n", what, name.c_str());
  return false;
}

// What a start learns about its installation before it writes anything: the Params, the tail,
// the key, the shared directory and the master folder. False after a failure whose message has
// been logged.
bool ReadSettings(MainFlow& flow) {
  flow.absoluteWrapperPath = tail::AbsoluteWrapperPath(flow.programPath);
  LogPrintf("[Extractor] The absolute wrapper path is %s\n", flow.absoluteWrapperPath.c_str());
  LogPrintf("[Extractor] The executable name is %s\n", flow.programPath.c_str());

  std::optional<tail::DynamicProperties> dynamic =
      tail::ProcessParams(flow.programPath, flow.properties, flow.prepareOnly);
  if (!dynamic) return false;
  flow.dynamic = std::move(*dynamic);
  flow.jreName = flow.dynamic.jreName.value_or("");

  log::LogStart("Extracting wrapper tail");
  flow.wrapperTail = tail::ReadWrapperTail(flow.programPath);
  if (!flow.wrapperTail) return false;
  const tail::TailFields& fields = flow.wrapperTail->fields;
  if (!IsUsableFolderName("App Name", fields.appName)) return false;
  flow.tailUpdateUrl = fields.updateUrl;

  if (!fields.requiredJavaVersion.empty())
    LogPrintf("[Extractor] Required Java version %s\n", fields.requiredJavaVersion.c_str());
  if (fields.updateUrl != "D") {
    LogPrintf("[Extractor] Will use Static Update URL: %s\n", fields.updateUrl.c_str());
    flow.updateUrl = fields.updateUrl;
  } else {
    LogPrintf("[Extractor] Will use Dynamic Update URL: %s\n", flow.dynamic.updateUrl.c_str());
    flow.updateUrl = flow.dynamic.updateUrl;
  }
  flow.silentInstall =
      tail::IsSilentInstall(flow.dynamic.silent, fields.silentParameter, flow.argCount, flow.args);
  log::LogEnd("Extracting tail");

  tail::AddStaticProperties(flow.properties, fields, flow.silentInstall);
  ImportVerificationKey(fields);

  std::optional<std::string> shared = SharedDirFor(fields.installType);
  if (!shared) {
    LogPrintf("ERROR: Unable to get shared dir!");
    return false;
  }
  flow.sharedDir = *shared;
  LogPrintf("[Extractor] Shared dir is %s\n", flow.sharedDir.c_str());

  LogPrintf("[Extractor] Update URL is currently '%s'\n", flow.updateUrl.c_str());
  if (!flow.updateUrl.empty() && flow.updateUrl.back() != '/') flow.updateUrl.push_back('/');
  LogPrintf("[Extractor] Update URL is now '%s'\n", flow.updateUrl.c_str());

  flow.masterFolder = fs::MasterFolderPath(flow.sharedDir, fields.appName);
  LogPrintf("[Extractor] Master folder is %s\n", flow.masterFolder.c_str());
  return true;
}

// Start-up: the imaging for the splash, the settings, then the log file and the overrides.
// False after a failure whose message has been logged.
bool StartUp(MainFlow& flow) {
  if (splash::IsWindowsXpOrLater()) splash::StartImaging();
  return StartUpQuietly(flow);
}

}  // namespace

bool StartUpQuietly(MainFlow& flow) {
  archive::SetProcessPublicKey(nullptr);
  if (!ReadSettings(flow)) return false;
  const tail::TailFields& fields = flow.wrapperTail->fields;
  flow.appName = fields.appName;
  flow.logPath = log::LogOpen(flow.sharedDir, fields.appName);

  ApplyJreNameOverride(flow);
  if (!IsUsableFolderName("JRE name", flow.jreName)) return false;
  flow.sharedConfigFolder = flow.masterFolder;
  fs::PathJoin(flow.sharedConfigFolder, "FLAppsSharedConfig");
  fs::CreateFolder(flow.sharedConfigFolder);
  // The Java side writes into FLApps too; made here, it is a folder of ours and not a link
  // someone planted at its name.
  std::string appsFolder = flow.masterFolder;
  fs::PathJoin(appsFolder, "FLApps");
  fs::CreateFolder(appsFolder);

  if (!fields.guVersion.empty())
    LogPrintf("[Extractor] RodoverUvezede version is %s\n", fields.guVersion.c_str());
  else
    LogPrintf("[Extractor] No RodoverUvezede embedded, we are just a launcher\n");
  if (!fields.appVersion.empty())
    LogPrintf("[Extractor] OFFLINE wrapper: App version is %s\n", fields.appVersion.c_str());
  else
    LogPrintf("[Extractor] ONLINE wrapper: No App embedded, GU will download and run\n");
  return true;
}

namespace {

ExitCode RunAsInstalled(MainFlow& flow, const InstallDecision& decision) {
  LogPrintf("[Extractor] Running without extraction now\n");
  splash::SplashCleanup();
  flow.wrapperTail.reset();  // closes the tail buffer and stops its reader
  if (flow.prepareOnly) return ExitCode::kSuccess;
  IntegrateDesktop(flow);
  std::optional<std::string> updaterFolder = decision.latestUpdaterFolder;
  if (InstallRequiredUpdate(flow))
    updaterFolder = fs::PickFolder(flow.masterFolder, tail::kUpdaterName);
  // The update check goes on beside the application and keeps its lines in this run's log.
  std::optional<log::LogCloseDeferral> keepLog;
  const std::unique_ptr<update::BackgroundUpdate> update = StartBackgroundUpdate(flow);
  if (update) keepLog.emplace();
  const ExitCode code = ApplicationLaunchExit(
      flow,
      launch::LaunchFromMasterFolder(LaunchRequestFor(
          flow, updaterFolder.value_or(""), flow.jreName, launch::LaunchClass::kApplication)));
  if (update) update->Finish(update::BackgroundUpdate::kGraceMs);
  return code;
}

// A run that failed is shown to the user (not only logged), unless it has no user interface or
// the application failed and has said why itself, as under "java".
ExitCode Reported(const MainFlow& flow, ExitCode code) {
  if (code == ExitCode::kSuccess || flow.applicationFailed) return code;
  ReportFailure(flow.appName, flow.launchFailure, flow.logPath,
                flow.silentInstall || flow.prepareOnly);
  return code;
}

desktop::Installation InstallationOf(const MainFlow& flow) {
  desktop::Installation installation;
  installation.appName = flow.wrapperTail->fields.appName;
  installation.masterFolder = flow.masterFolder;
  installation.allUsers = fs::IsAllUsersInstall(flow.wrapperTail->fields.installType);
  installation.desktopShortcut = flow.dynamic.desktopShortcut;
  installation.publisher = flow.dynamic.publisher;
  return installation;
}

}  // namespace

std::string UserFacingThrowable(const std::string& text) {
  // "java.lang.IllegalStateException: message": the class name means nothing to a user.
  const std::size_t colon = text.find(": ");
  if (colon == std::string::npos || colon == 0) return text;
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = text[i];
    const bool partOfName = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                            (c >= '0' && c <= '9') || c == '.' || c == '$' || c == '_';
    if (!partOfName) return text;
  }
  return text.substr(colon + 2);
}

ExitCode ApplicationLaunchExit(MainFlow& flow, const launch::LaunchOutcome& outcome) {
  switch (outcome.status) {
    case launch::LaunchStatus::kRan:
      break;
    case launch::LaunchStatus::kApplicationFailed:
      flow.applicationFailed = true;
      break;
    case launch::LaunchStatus::kJavaFailed:
      flow.launchFailure = UserFacingThrowable(outcome.failure);
      break;
    case launch::LaunchStatus::kLaunchFileUnreadable:
      flow.launchFailure = "Its launch file cannot be read.";
      break;
    case launch::LaunchStatus::kNoPrivateJre:
      flow.launchFailure = "Its Java runtime is not installed.";
      break;
    case launch::LaunchStatus::kSpawnFailed:
      flow.launchFailure = "Its Java runtime cannot be started.";
      break;
    case launch::LaunchStatus::kLaunchPropertiesUnwritable:
      flow.launchFailure = "Its settings file cannot be written.";
      break;
    case launch::LaunchStatus::kClasspathTooLong:
      flow.launchFailure = "It is installed in a folder whose path is too long.";
      break;
  }
  return ExitCodeFor(outcome);
}

void IntegrateDesktop(const MainFlow& flow) {
  if (!flow.desktop || !desktop::IntegrationEnabled()) return;
  desktop::Integrate(*flow.desktop, flow.absoluteWrapperPath);
}

ExitCode Uninstaller(const std::string& programPath) {
  MainFlow flow;
  flow.programPath = programPath;
  flow.prepareOnly = true;  // nothing is shown
  if (!ReadSettings(flow)) return ExitCode::kFailure;
  const desktop::Installation installation = InstallationOf(flow);
  flow.wrapperTail.reset();  // the payload is not needed: stop its reader before removing
  switch (desktop::Uninstall(installation, flow.absoluteWrapperPath)) {
    case desktop::UninstallOutcome::kRemoved:
      LogPrintf("[Desktop] Uninstalled %s\n", installation.appName.c_str());
      return ExitCode::kSuccess;
    case desktop::UninstallOutcome::kNothingInstalled:
      LogPrintf("[Desktop] %s is not installed: nothing to uninstall\n",
                installation.appName.c_str());
      return ExitCode::kSuccess;
    case desktop::UninstallOutcome::kRefused:
    case desktop::UninstallOutcome::kIncomplete:
      break;
  }
  log::LogError("[Desktop] Uninstall of %s failed\n", installation.appName.c_str());
  return ExitCode::kFailure;
}

launch::LaunchRequest LaunchRequestFor(const MainFlow& flow, const std::string& appFolderName,
                                       const std::string& jreName,
                                       launch::LaunchClass launchClass) {
  launch::LaunchRequest request;
  request.masterFolder = flow.masterFolder;
  request.properties = flow.properties;
  for (int i = 0; i < flow.argCount; ++i) request.arguments.emplace_back(flow.args[i]);
  request.appFolderName = appFolderName;
  request.updateUrl = flow.tailUpdateUrl;
  if (flow.dynamic.hasUpdateUrl) request.dynamicUpdateUrl = flow.dynamic.updateUrl;
  request.jreName = jreName;
  request.launchClass = launchClass;
  request.launcherPath = flow.absoluteWrapperPath;
  request.forceSpawn = flow.dynamic.forceSpawn;
  return request;
}

ExitCode Extractor(const std::string& programPath, int argCount, char** args, bool prepareOnly) {
  MainFlow flow;
  flow.programPath = programPath;
  flow.argCount = argCount;
  flow.args = args;
  flow.prepareOnly = prepareOnly;
  if (!StartUp(flow)) return Reported(flow, ExitCode::kFailure);
  flow.desktop = InstallationOf(flow);

  const tail::TailFields& fields = flow.wrapperTail->fields;
  InstallDecision decision = DecideInstall(InstallState{
      flow.masterFolder, fields.appName, flow.jreName, fields.guVersion, fields.appVersion});
  if (decision.action == InstallAction::RunInstalled)
    return Reported(flow, RunAsInstalled(flow, decision));
  return Reported(flow, ExtractAndPrepare(flow, decision, SystemExtractionOps()));
}

}  // namespace ferrolan::launcher
