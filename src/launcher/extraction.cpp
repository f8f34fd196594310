// The extraction and the hand-over: the updater, the splash, the JRE, the trust store, the
// proxy, the application, and the launch of the newest updater.
#include "launcher/extraction.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <utility>
#include <variant>
#include <vector>

#include "archive/entry_format.h"
#include "archive/unarchiver.h"
#include "fs/file_ops.h"
#include "fs/path.h"
#include "fs/pe_patch.h"
#include "fs/versioned_folder.h"
#include "jre/cacerts.h"
#include "jre/jre_layout.h"
#include "launch/launch_sequence.h"
#include "launcher/update_run.h"
#include "log/log.h"
#include "net/proxy_settings.h"
#include "pipeline/stages.h"
#include "splash/splash_control.h"
#include "tail/payload_layout.h"

namespace ferrolan::launcher {
namespace {

using log::LogError;
using log::LogPrintf;

using tail::kUpdaterName;

std::string Joined(const std::string& folder, const std::string& name) {
  std::string path = folder;
  fs::PathJoin(path, name);
  return path;
}

std::int64_t TailVersion(const std::string& text) {
  return std::strtoll(text.c_str(), nullptr, 10);
}

// Versions from the tail become folder names; anything but digits is refused before a folder
// is created from it.
bool TailVersionsUsable(const tail::TailFields& fields) {
  const std::pair<const char*, const std::string*> versions[] = {
      {"GU Version", &fields.guVersion},
      {"App Version", &fields.appVersion},
      {"JRE Version", &fields.jreVersion}};
  for (const auto& [label, version] : versions) {
    if (!version->empty() && !IsValidVersionText(*version)) {
      LogError("[Extractor] %s is not a valid version: %s\n", label, version->c_str());
      return false;
    }
  }
  return true;
}

// True when the installed folder (relative to the master folder) is at least as new as the
// embedded version, so installing the embedded one again would change nothing.
bool InstalledIsCurrent(const std::optional<std::string>& installed, const std::string& ours) {
  return installed && fs::FolderVersion(*installed) >= TailVersion(ours);
}

// True when the run carries a splash image of its own that may replace the embedded one.
bool HasDynamicSplash(const MainFlow& flow) {
  if (flow.wrapperTail->fields.canOverrideSplash != "1") return false;
  LogPrintf("[Extractor] Authorised to override the splash image.\n");
  const auto& image = flow.dynamic.splashImage;
  LogPrintf("[Extractor] DynamicSplash is %d, size is %d\n", image ? 1 : 0,
            image ? static_cast<int>(image->size()) : 0);
  return image && !image->empty();
}

void WriteDynamicSplash(const MainFlow& flow, const std::string& splashPath) {
  LogPrintf("[Extractor] Overwriting splash image at %s\n", splashPath.c_str());
  const auto& image = *flow.dynamic.splashImage;
  if (fs::OwnedFile file = fs::OpenFile(splashPath, "wb"))
    std::fwrite(image.data(), 1, image.size(), file.get());
}

// The run's own splash image when the installed updater is kept: its folder is complete and
// stays as installed, so the image goes into a temporary folder of this run, which is gone
// again once the splash has read it.
class KeptUpdaterSplash {
 public:
  explicit KeptUpdaterSplash(const MainFlow& flow) {
    if (!HasDynamicSplash(flow)) return;
    folder_ = fs::CreateTempFolder(flow.masterFolder);
    if (!folder_) return;
    path_ = Joined(*folder_, tail::kSplashFileName);
    WriteDynamicSplash(flow, path_);
  }
  ~KeptUpdaterSplash() {
    if (folder_) fs::RemoveFolderTree(*folder_);
  }
  KeptUpdaterSplash(const KeptUpdaterSplash&) = delete;
  KeptUpdaterSplash& operator=(const KeptUpdaterSplash&) = delete;
  // The image to show: the run's own, or else the installed updater's.
  std::string PathOr(const std::string& installed) const {
    return path_.empty() ? installed : path_;
  }

 private:
  std::optional<std::string> folder_;
  std::string path_;
};

// Extracts the next tail entry into `folder`. False after a failure whose message is logged,
// the end of the stream among them: the tail fields say which entries the payload holds.
bool ExtractNextEntry(pipeline::RingBuffer& tail, const std::string& folder) {
  return TailEntryArrived(archive::ExtractTailEntry(tail, folder));
}

// A temporary folder that is removed again unless its content was completed: a component
// that fails leaves nothing half-written behind for a later run to trip over.
class UnfinishedFolder {
 public:
  explicit UnfinishedFolder(std::string path) : path_(std::move(path)) {}
  ~UnfinishedFolder() {
    if (!finished_) DiscardTempFolder(path_);
  }
  UnfinishedFolder(const UnfinishedFolder&) = delete;
  UnfinishedFolder& operator=(const UnfinishedFolder&) = delete;
  void Finished() { finished_ = true; }

 private:
  std::string path_;
  bool finished_ = false;
};

// Installs the updater of the payload (entries 1 to 5). False when its temporary folder cannot
// be created or an entry fails.
bool InstallUpdater(const MainFlow& flow, pipeline::RingBuffer& tail,
                    const std::string& updaterFolder, const std::string& updaterTemp,
                    const ExtractionOps& ops) {
  // Exclusively: a folder someone else made at this name since it was formed is not ours.
  if (!fs::CreateFolderExclusively(updaterTemp)) {
    LogPrintf("[Extractor] Unable to create GU Temp folder - assuming elevation required\n");
    return false;
  }
  UnfinishedFolder unfinished(updaterTemp);
  const std::string lzmaPath = Joined(updaterTemp, tail::kLzmaFileName);
  LogPrintf("[Extractor] LZMA path is %s\n", lzmaPath.c_str());
  if (!ExtractNextEntry(tail, updaterTemp) || !ops.patchSubsystem(lzmaPath)) return false;
  if (!ExtractNextEntry(tail, updaterTemp)) return false;
  if (HasDynamicSplash(flow)) WriteDynamicSplash(flow, Joined(updaterTemp, tail::kSplashFileName));

  // cacerts, the updater's archive and its version file
  for (int entry = 2; entry < tail::kUpdaterEntryCount; ++entry)
    if (!ExtractNextEntry(tail, updaterTemp)) return false;
  LogPrintf("[Extractor] Extracted GU and GU Version\n");
  unfinished.Finished();
  LogPrintf("[Extractor] Renaming GU folder to %s\n", updaterFolder.c_str());
  fs::RenameWithFallbacks(updaterTemp, updaterFolder);
  return true;
}

// Sets up the JRE and moves it into place, or keeps the installed one when it is sound and at
// least as new as the one embedded (an online build embeds none, so any sound JRE will do).
// The trust store follows the updater: a kept JRE gets the override of a newly installed
// updater, so a trust store shipped with an updater update still arrives. Returns the JRE
// folder in force, or the exit code after a failure of the setup.
std::variant<std::string, ExitCode> InstallJre(const MainFlow& flow,
                                               const InstallDecision& decision,
                                               const std::string& updaterFolder,
                                               bool updaterInstalled, pipeline::RingBuffer& tail,
                                               const ExtractionOps& ops) {
  const std::string& embedded = flow.wrapperTail->fields.jreVersion;
  if (decision.latestJreFolder &&
      (embedded.empty() || InstalledIsCurrent(decision.latestJreFolder, embedded))) {
    LogPrintf("[Extractor] Keeping the installed JRE %s\n", decision.latestJreFolder->c_str());
    if (!embedded.empty()) SkipTailEntry(tail);
    const std::string kept = Joined(flow.masterFolder, *decision.latestJreFolder);
    if (updaterInstalled)
      jre::ApplyCacertsOverride(Joined(updaterFolder, tail::kCacertsFileName), kept);
    return kept;
  }

  LogPrintf("[Extractor] Setting up a JRE\n");
  const JreSetupOutcome setup =
      SetUpJre(JreSetupInput{&flow, updaterFolder, decision.latestUpdaterFolder, &tail}, ops.jre);
  if (!setup.jre) return setup.failure;
  const JreSetupResult& installed = *setup.jre;
  fs::RenameWithFallbacks(installed.tempFolder, installed.jreFolder);
  LogPrintf("[Extractor] Renamed JRE folder to %s\n", installed.jreFolder.c_str());
  jre::ApplyCacertsOverride(Joined(updaterFolder, tail::kCacertsFileName), installed.jreFolder);
  return installed.jreFolder;
}

}  // namespace

int SkipTailEntry(pipeline::RingBuffer& tail) {
  const std::optional<std::string> type =
      pipeline::RingBuffer_readUntil(tail, "Archive File Type", archive::kTypeFieldMax, nullptr);
  if (!type || type->empty()) return -1;
  const std::optional<std::string> path =
      pipeline::RingBuffer_readUntil(tail, "Archive File Path", archive::kPathFieldMax, nullptr);
  if (!path) return -1;
  LogPrintf("[Extractor] Passing over %s\n", path->c_str());
  if (archive::ParseEntryType(*type) == static_cast<long>(archive::EntryType::kFolder)) return 0;
  const std::optional<std::string> lengthText = pipeline::RingBuffer_readUntil(
      tail, "Archive File Length", archive::kLengthFieldMax, nullptr);
  const std::optional<std::int32_t> length =
      lengthText ? archive::ParseEntryLength(*lengthText) : std::nullopt;
  if (!length) return -1;
  std::vector<char> chunk(pipeline::kStageChunk);
  for (std::int32_t due = *length; due > 0;) {
    const int want = static_cast<int>(std::min<std::int64_t>(due, std::ssize(chunk)));
    const int got = pipeline::RingBuffer_read(tail, chunk.data(), want);
    if (got < 0) return -1;
    due -= got;
  }
  return 0;
}

ExtractionOps SystemExtractionOps() {
  ExtractionOps ops;
  ops.jre = SystemJreSetupOps();
  ops.patchSubsystem = [](const std::string& path) { return fs::PatchWindowsSubsystem(path); };
  ops.workingProxy = [] { return net::WorkingProxySettings(); };
  ops.launch = [](const MainFlow& flow, const std::string& updaterFolderName) {
    return launch::LaunchFromMasterFolder(
        LaunchRequestFor(flow, updaterFolderName, flow.jreName, launch::LaunchClass::kApplication));
  };
  ops.integrateDesktop = IntegrateDesktop;
  ops.installApplication = InstallApplicationFromUpdates;
  return ops;
}

ExitCode ExtractAndPrepare(MainFlow& flow, const InstallDecision& decision,
                           const ExtractionOps& ops) {
  const tail::TailFields& fields = flow.wrapperTail->fields;
  pipeline::RingBuffer& tail = *flow.wrapperTail->reader.buffer;

  LogPrintf(decision.latestJreFolder ? "[Extractor] Note: Latest JRE version does exist\n"
                                     : "[Extractor] Note: No latest JRE version exists\n");
  LogPrintf(decision.latestUpdaterFolder ? "[Extractor] Note: Latest GU version does exist\n"
                                         : "[Extractor] Note: No latest GU version exists\n");
  if (fields.guVersion.empty()) {
    LogPrintf("[Extractor] Unable to run (we are just a launcher)\n");
    return ExitCode::kFailure;
  }
  if (!TailVersionsUsable(fields)) return ExitCode::kFailure;

  fs::CreateFolder(flow.masterFolder);
  std::string updaterFolder =
      fs::VersionedFolderName(flow.masterFolder, kUpdaterName, fields.guVersion);
  const std::string updaterTemp = fs::TempFolderName(flow.masterFolder);
  const std::string appFolder =
      fs::VersionedFolderName(flow.masterFolder, fields.appName, fields.appVersion);
  LogPrintf("[Extractor] GU folder is %s\n", updaterFolder.c_str());
  LogPrintf("[Extractor] GU temp is %s\n", updaterTemp.c_str());

  const bool updaterInstalled = !InstalledIsCurrent(decision.latestUpdaterFolder, fields.guVersion);
  if (!updaterInstalled) {
    // The installed updater stays; its five entries are read past to reach the JRE and the
    // application, and its folder provides lzma.exe, cacerts and the splash image.
    LogPrintf("[Extractor] Keeping the installed GU %s\n", decision.latestUpdaterFolder->c_str());
    for (int entry = 0; entry < tail::kUpdaterEntryCount; ++entry) SkipTailEntry(tail);
    updaterFolder = Joined(flow.masterFolder, *decision.latestUpdaterFolder);
  } else if (!InstallUpdater(flow, tail, updaterFolder, updaterTemp, ops)) {
    return ExitCode::kFailure;
  }

  LogPrintf("[Extractor] Recreating GU location\n");
  const std::string splashPath = Joined(updaterFolder, tail::kSplashFileName);
  LogPrintf("[Extractor] LZMA path is %s\n", Joined(updaterFolder, tail::kLzmaFileName).c_str());
  LogPrintf("[Extractor] CACerts override path is %s\n",
            Joined(updaterFolder, tail::kCacertsFileName).c_str());
  LogPrintf("[Extractor] Native Splash PNG path is %s\n", splashPath.c_str());
  LogPrintf("[Extractor] Configuring splash\n");
  splash::SplashSetBorder(flow.dynamic.splashBorder);
  if (updaterInstalled) {
    splash::SplashConfigure(splashPath);
  } else {
    const KeptUpdaterSplash ownSplash(flow);  // the image is read here, the file not needed after
    splash::SplashConfigure(ownSplash.PathOr(splashPath));
  }
  LogPrintf("[Extractor] Showing splash\n");
  if (!flow.silentInstall && !flow.prepareOnly) splash::SplashShow();
  splash::SplashSetProgress(-1);

  std::variant<std::string, ExitCode> jreSetup =
      InstallJre(flow, decision, updaterFolder, updaterInstalled, tail, ops);
  if (const ExitCode* failure = std::get_if<ExitCode>(&jreSetup)) return *failure;
  const std::string& jreFolder = std::get<std::string>(jreSetup);
  LogPrintf("[Extractor] Saving proxy configuration\n");
  net::SaveProxyConfiguration(flow.sharedConfigFolder,
                              ops.workingProxy ? ops.workingProxy() : std::nullopt);
  archive::SetUnpack200Path(jre::LocateUnpack200(jreFolder));
  LogPrintf("[Extractor] UP200 path is %s\n", archive::Unpack200Path().c_str());

  std::optional<std::string> installedApp;
  if (!fields.appVersion.empty()) installedApp = fs::PickFolder(flow.masterFolder, fields.appName);
  if (InstalledIsCurrent(installedApp, fields.appVersion)) {
    LogPrintf("[Extractor] Keeping the installed App %s\n", installedApp->c_str());
    SkipTailEntry(tail);
    SkipTailEntry(tail);
  } else if (!fields.appVersion.empty()) {
    // Named only now: a name formed before the JRE setup could be the name of a folder that
    // a failed system JRE copy left behind in the same second, and the application would be
    // written into that copy's leftovers.
    const std::optional<std::string> created = fs::CreateTempFolder(flow.masterFolder);
    const std::string appTemp = created.value_or(fs::TempFolderName(flow.masterFolder));
    LogPrintf("[Extractor] Offline installer - app to extract.\n");
    LogPrintf("[Extractor] APP folder is %s\n", appFolder.c_str());
    LogPrintf("[Extractor] APP temp is %s\n", appTemp.c_str());
    if (!created) {
      LogError("Unable to create App Temp folder\n");
      return ExitCode::kFailure;
    }
    UnfinishedFolder unfinished(appTemp);
    LogPrintf("[Extractor] Extracting App...\n");
    if (!ExtractNextEntry(tail, appTemp) || !ExtractNextEntry(tail, appTemp))
      return ExitCode::kFailure;
    unfinished.Finished();
    LogPrintf("[Extractor] Setting permissions...\n");
    fs::RenameWithFallbacks(appTemp, appFolder);
    LogPrintf("[Extractor] Renaming App folder to %s\n", appFolder.c_str());
  } else {
    LogPrintf("[Extractor] Online installer - no app to extract\n");
    if (ops.installApplication && !fs::PickFolder(flow.masterFolder, fields.appName) &&
        !ops.installApplication(flow)) {
      flow.launchFailure = "The application cannot be downloaded from its update server.";
      return ExitCode::kFailure;
    }
  }

  std::optional<std::string> latest = fs::PickFolder(flow.masterFolder, kUpdaterName);
  if (!latest) {
    LogError("No latest App version even after download!\n");
    return ExitCode::kFailure;
  }
  splash::SplashCleanup();
  LogPrintf("[Extractor] Will now run latest GU %s\n", latest->c_str());
  // The tail's reader is done with before Java runs: an application that ends the process from
  // Java must not leave a thread of ours behind.
  pipeline::RingBuffer_close(tail);
  flow.wrapperTail->reader.reader.Join();

  if (flow.prepareOnly) return ExitCode::kSuccess;
  if (ops.integrateDesktop) ops.integrateDesktop(flow);
  return ApplicationLaunchExit(flow, ops.launch(flow, *latest));
}

}  // namespace ferrolan::launcher
