// The Extractor main flow: start-up, the install decision, and the hand-over.
#include "launcher/extractor.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "archive/signature.h"
#include "fs/file_ops.h"
#include "fs/path.h"
#include "fs/shared_dir.h"
#include "launch/launch_sequence.h"
#include "launcher/extraction.h"
#include "launcher/install_decision.h"
#include "launcher/main_flow.h"
#include "log/log.h"
#include "pipeline/stages.h"
#include "splash/splash_control.h"
#include "tail/params.h"
#include "tail/properties_block.h"
#include "tail/tail_reader.h"

namespace ferrolan::launcher {
namespace {

using log::LogPrintf;

void ImportVerificationKey(const tail::TailFields& fields) {
  const std::string& hex = fields.publicKey;
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

// Start-up: properties, tail, key, shared directory, log file, overrides. False after a
// failure whose message has been logged.
bool StartUp(MainFlow& flow) {
  archive::SetProcessPublicKey(nullptr);
  if (splash::IsWindowsXpOrLater()) splash::StartImaging();

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
  log::LogOpen(flow.sharedDir, fields.appName);

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

ExitCode RunAsInstalled(MainFlow& flow, const InstallDecision& decision) {
  LogPrintf("[Extractor] Running without extraction now\n");
  splash::SplashCleanup();
  flow.wrapperTail.reset();  // closes the tail buffer and stops its reader
  if (flow.prepareOnly) return ExitCode::kSuccess;
  return ExitCodeFor(launch::LaunchFromMasterFolder(
      LaunchRequestFor(flow, decision.latestUpdaterFolder.value_or(""), flow.jreName,
                       launch::LaunchClass::kApplication)));
}

}  // namespace

launch::LaunchRequest LaunchRequestFor(const MainFlow& flow, const std::string& appFolderName,
                                       const std::string& jreName,
                                       launch::LaunchClass launchClass) {
  launch::LaunchRequest request;
  request.masterFolder = flow.masterFolder;
  request.properties = flow.properties;
  for (int i = 0; i < flow.argCount; ++i) request.arguments.emplace_back(flow.args[i]);
  request.appFolderName = appFolderName;
  request.updateUrl = flow.tailUpdateUrl;
  request.dynamicUpdateUrl = flow.dynamic.updateUrl;
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
  if (!StartUp(flow)) return ExitCode::kFailure;

  const tail::TailFields& fields = flow.wrapperTail->fields;
  InstallDecision decision = DecideInstall(InstallState{
      flow.masterFolder, fields.appName, flow.jreName, fields.guVersion, fields.appVersion});
  if (decision.action == InstallAction::RunInstalled) return RunAsInstalled(flow, decision);
  return ExtractAndPrepare(flow, decision, SystemExtractionOps());
}

}  // namespace ferrolan::launcher
