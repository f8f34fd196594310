// The JRE setup: the offline branch (the JRE archive of the tail), and the online branch (a
// copied system JRE, else a download of the version the update server names).
#include "launcher/jre_setup.h"

#include <cerrno>

#include "archive/unarchiver.h"
#include "fs/disk_space.h"
#include "fs/path.h"
#include "fs/versioned_folder.h"
#include "jre/jre_layout.h"
#include "jre/jre_search.h"
#include "launch/launch_sequence.h"
#include "launcher/update_run.h"
#include "log/log.h"
#include "net/download_pipelines.h"
#include "net/version_probe.h"
#include "pipeline/stages.h"
#include "process/spawner.h"
#include "splash/splash_control.h"
#include "tail/payload_layout.h"

namespace ferrolan::launcher {
namespace {

using log::LogError;
using log::LogPrintf;

// The splash is shown and taken down around downloads only when the user is to see anything.
bool ShowsSplash(const JreSetupInput& input) {
  return !input.flow->silentInstall && !input.flow->prepareOnly;
}

const std::string& TailJreVersion(const JreSetupInput& input) {
  return input.flow->wrapperTail->fields.jreVersion;
}

// A fresh temporary folder for a JRE. A folder that cannot be created would make the first
// file of the archive fail, so the setup stops here with a clearer message.
std::optional<std::string> CreateJreTempFolder(const JreSetupInput& input) {
  // Created exclusively, so the folder is always a new one of this run and never a link.
  std::optional<std::string> temp = fs::CreateTempFolder(input.flow->masterFolder);
  if (!temp) {
    LogError("[Extractor] Unable to create JRE Temp folder in %s\n",
             input.flow->masterFolder.c_str());
  }
  return temp;
}

// The JRE archive is unpacked with the unpack200 of the JRE being extracted.
void PointUnpack200At(const std::string& jreFolder, const char* tag) {
  archive::SetUnpack200Path(jre::LocateUnpack200(jreFolder));
  LogPrintf("%s UP200 path is %s\n", tag, archive::Unpack200Path().c_str());
}

JreSetupOutcome SetUpOfflineJre(const JreSetupInput& input, const JreSetupOps& ops) {
  const MainFlow& flow = *input.flow;
  log::LogStart("Extracting Offline JRE");
  LogPrintf("[Extractor] We want to query the JRE version to enable proxy detection.\n");
  ops.probeVersionFile(input.updaterFolder, flow.updateUrl, flow.jreName);

  std::optional<std::string> temp = CreateJreTempFolder(input);
  if (!temp) return {};
  JreSetupResult result{
      *temp, fs::VersionedFolderName(flow.masterFolder, flow.jreName, TailJreVersion(input)),
      TailJreVersion(input)};
  LogPrintf("[Extractor] Offline installer - no need to download JRE, will extract\n");
  PointUnpack200At(result.tempFolder, "[Extractor]");

  LogPrintf("[Extractor] Extracting JRE archive...\n");
  const archive::EntryResult extracted = ops.extractTailEntry(*input.tailBuffer, result.tempFolder);
  if (!TailEntryArrived(extracted)) {
    DiscardTempFolder(result.tempFolder);
    return {std::nullopt, ExitCodeFor(extracted)};
  }
  LogPrintf("[Extractor] Extracted JRE %s\n", flow.jreName.c_str());

  LogPrintf("[Extractor] Regenerating jsa...\n");
  ops.regenerateClassData(jre::LocateJavaLauncher(result.tempFolder));
  log::LogEnd("Extracting Offline JRE");
  return {result};
}

// Downloads the version file and then the JRE archive it names. Returns the version text
// (empty when the file named none) and the filled temporary folder, or none after a failure.
std::optional<JreSetupResult> DownloadJre(const JreSetupInput& input, const JreSetupOps& ops) {
  LogPrintf("[JREDownload] Failed to pick up any existing system JRE, will download\n");
  const std::string stamp = ops.millisText();
  const std::string versionName = tail::VersionFileName(input.flow->jreName);
  std::string versionFile = input.updaterFolder;
  fs::PathJoin(versionFile, versionName);
  const std::string versionUrl = input.flow->updateUrl + versionName + "?time=" + stamp;

  if (ShowsSplash(input)) splash::SplashShow();
  LogPrintf("[JREDownload] Fetching JRE Version from %s\n", versionUrl.c_str());
  LogPrintf("[JREDownload] Saving into %s\n", versionFile.c_str());
  if (ops.downloadVersionFile(versionUrl, versionFile) == 0) {
    if (ShowsSplash(input)) splash::SplashCleanup();
    LogError("[JREDownload] Failed to download JRE version file\n");
    return std::nullopt;
  }
  splash::SplashSetProgress(-1);
  LogPrintf("[JREDownload] JRE version downloaded OK [%s]\n", versionFile.c_str());

  JreSetupResult result;
  if (fs::OwnedFile file = fs::OpenFile(versionFile, "r")) {
    ServerVersion read = ReadServerVersion(file.get());
    if (read.tooLong) return std::nullopt;
    result.version = std::move(read.text);
  } else {
    // Nothing can be read from a file that did not open: the version stays empty and the
    // setup ends below with the archive download or the missing version.
    LogPrintf("[JREDownload] ************************** Unable to open version file! [%d]\n",
              errno);
  }
  LogPrintf("[JREDownload] JRE Version is %s\n", result.version.c_str());
  if (!result.version.empty() && !IsValidVersionText(result.version)) {
    LogError("[JREDownload] Version invalid (not a number): %s\n", result.version.c_str());
    return std::nullopt;
  }

  // Where the update folder has signed metadata, the unsigned version file must agree with
  // it, and the archive is held to the length and digest it declares.
  std::optional<archive::UpdateComponent> declared;
  if (ops.declaredJre) declared = ops.declaredJre(*input.flow);
  if (declared && declared->version != result.version) {
    LogError("[JREDownload] The version file names %s, the signed update metadata %s\n",
             result.version.c_str(), declared->version.c_str());
    return std::nullopt;
  }

  std::optional<std::string> temp = CreateJreTempFolder(input);
  if (!temp) return std::nullopt;
  result.tempFolder = *temp;
  const std::string archiveUrl =
      input.flow->updateUrl + tail::ArchiveName(input.flow->jreName, result.version);
  PointUnpack200At(result.tempFolder, "[JREDownload]");

  if (ShowsSplash(input)) splash::SplashShow();
  LogPrintf("[JREDownload] Extracting JRE archive to %s\n", result.tempFolder.c_str());
  if (ops.downloadAndExtract(archiveUrl, result.tempFolder, declared ? &*declared : nullptr) == 0) {
    LogError("[JREDownload] Failed to download and extract JRE archive.\n");
    // The archive has taken back its own files; the folder made for it goes too.
    DiscardTempFolder(result.tempFolder);
    return std::nullopt;
  }
  LogPrintf("[JREDownload] Regenerating jsa...\n");
  ops.regenerateClassData(jre::LocateJavaLauncher(result.tempFolder));
  LogPrintf("[JREDownload] Downloaded JRE is now ready.\n");
  return result;
}

JreSetupOutcome SetUpOnlineJre(const JreSetupInput& input, const JreSetupOps& ops) {
  const MainFlow& flow = *input.flow;
  log::LogStart("Setting up online JRE");
  JreSetupResult result;
  LogPrintf("[Extractor] Online installer - no stored JRE, will check for compatible system JRE\n");
  const SystemJreSearch search = ops.searchSystemJre(input);
  if (search.result.status == jre::JreSearchStatus::kFailed) return {std::nullopt, search.failure};
  result.version = search.result.version;
  result.tempFolder = search.result.folder;

  if (!result.version.empty()) {
    LogPrintf(
        "[Extractor] We are copying the JRE. We want to query the JRE version to enable proxy "
        "detection.\n");
    ops.probeVersionFile(input.updaterFolder, flow.updateUrl, flow.jreName);
  } else {
    // The download of the JRE itself is the seam where the network part plugs in.
    std::optional<JreSetupResult> downloaded = DownloadJre(input, ops);
    if (!downloaded) return {};
    result = std::move(*downloaded);
  }

  if (result.version.empty()) {
    LogError("[JREDownload] Failed to detect or download a JRE (no jre version)\n");
    return {};
  }
  LogPrintf("[JREDownload] Finalising setup of new JRE %s\n", result.version.c_str());
  result.jreFolder = fs::VersionedFolderName(flow.masterFolder, flow.jreName, result.version);
  log::LogEnd("Setting up online JRE");
  return {result};
}

// The downloads of the setup show their progress on the splash.
net::RaceEnvironment DownloadEnvironment() {
  net::RaceEnvironment environment = net::SystemRaceEnvironment();
  environment.progress = [](int percent) { splash::SplashSetProgress(percent); };
  return environment;
}

// The compatibility test of a system JRE candidate: the updater's compatibility class run by
// the candidate's launcher, with the run's properties and arguments.
jre::Compatibility TestCompatibility(const MainFlow& flow, const jre::CompatibilityRun& run,
                                     ExitCode& failure) {
  const launch::LaunchOutcome outcome = launch::LaunchFromMasterFolder(LaunchRequestFor(
      flow, run.updaterFolderName, run.javaLauncher, launch::LaunchClass::kJreCompatibility));
  if (outcome.status != launch::LaunchStatus::kRan) {
    failure = ExitCodeFor(outcome);
    return jre::Compatibility::kAbort;
  }
  return outcome.testExitCode == kJreCompatibleExitCode ? jre::Compatibility::kCompatible
                                                        : jre::Compatibility::kIncompatible;
}

}  // namespace

bool TailEntryArrived(archive::EntryResult result) {
  if (result == archive::EntryResult::kEnd)
    LogError("[Extractor] The payload ends before all of its entries\n");
  return result == archive::EntryResult::kNext;
}

void DiscardTempFolder(const std::string& folder) {
  LogPrintf("[Extractor] Removing the unfinished folder %s\n", folder.c_str());
  fs::RemoveFolderTree(folder);
}

bool IsValidVersionText(std::string_view version) {
  if (version.empty()) return false;
  for (char c : version)
    if (c < '0' || c > '9') return false;
  return true;
}

ServerVersion ReadServerVersion(std::FILE* file) {
  ServerVersion result;
  std::string shown;
  bool blank = false;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
    if (c == '\r' || c == '\n' || c == ' ') {
      blank = true;
      break;
    }
    shown.push_back(static_cast<char>(c));
    if (result.text.size() == static_cast<std::size_t>(kMaxServerVersionLength)) {
      result.tooLong = true;
      break;
    }
    result.text.push_back(static_cast<char>(c));
  }
  // The characters as read and the reason the reading stopped, as one message: the log puts
  // its timing before every message, which would split the text after each character.
  if (blank) shown += "\n[JREDownload] Spaces in version file, assuming EOF\n";
  if (result.tooLong) {
    shown += "\n[JREDownload] Version invalid (too long)\n";
  } else {
    shown += "\n";
  }
  LogPrintf("[JREDownload] Extracting version: %s", shown.c_str());
  return result;
}

JreSetupOps SystemJreSetupOps() {
  JreSetupOps ops;
  ops.probeVersionFile = [](const std::string& folder, const std::string& updateUrl,
                            const std::string& jreName) {
    net::ProbeVersionFile(folder, updateUrl, jreName, DownloadEnvironment());
  };
  ops.searchSystemJre = [](const JreSetupInput& input) {
    const MainFlow& flow = *input.flow;
    SystemJreSearch search;
    jre::JreSearchRequest request;
    request.masterFolder = flow.masterFolder;
    request.autoTest = flow.dynamic.autoTest;
    request.requiredVersion = flow.wrapperTail->fields.requiredJavaVersion;
    request.compatibilityTest = [&](const jre::CompatibilityRun& run) {
      return TestCompatibility(flow, run, search.failure);
    };
    search.result = jre::JRESearch(request);
    return search;
  };
  ops.downloadVersionFile = [](const std::string& url, const std::string& file) {
    return net::DownloadToFile(url, file, net::kMaxVersionFileBytes, DownloadEnvironment());
  };
  // Nothing signed declares the archive's length: the archive's own end stops the download,
  // and its extraction keeps the disk's reserve.
  ops.downloadAndExtract = [](const std::string& url, const std::string& folder,
                              const archive::UpdateComponent* declared) {
    const net::DownloadExtraction extraction =
        declared ? net::DownloadAndExtract(
                       net::CheckedArchiveDownload{url, folder, declared->length, declared->sha256},
                       DownloadEnvironment())
                 : net::DownloadAndExtract(url, folder, net::kNoBodyLimit, DownloadEnvironment());
    return extraction.Succeeded() ? 1 : 0;
  };
  ops.declaredJre = [](const MainFlow& flow) -> std::optional<archive::UpdateComponent> {
    update::UpdateContext context = UpdateContextFor(flow);
    context.environment = DownloadEnvironment();
    const update::FetchedMetadata fetched = update::FetchMetadata(context);
    if (fetched.status != update::CheckStatus::kAvailable) return std::nullopt;
    const archive::UpdateComponent* jre = fetched.metadata.Find(archive::UpdateComponentKind::kJre);
    if (!jre || jre->name != flow.jreName) return std::nullopt;
    return *jre;
  };
  ops.extractTailEntry = [](pipeline::RingBuffer& tail, const std::string& folder) {
    return archive::ExtractTailEntry(tail, folder);
  };
  ops.regenerateClassData = [](const std::string& javaLauncher) {
    process::Spawner spawner = process::SpawnerCreate();
    process::SpawnerSetExe(spawner, javaLauncher);
    process::SpawnerAppend(spawner, "-Xshare:dump");
    // Its warnings (a linked runtime gives dozens) are for the log, not for the user's console.
    std::string output;
    process::runSpawnerAndWaitQuietly(spawner, output);
    if (!output.empty())
      LogPrintf("[Extractor] Class data regeneration said:\n%s\n", output.c_str());
  };
  ops.millisText = [] { return net::MillisText(); };
  return ops;
}

JreSetupOutcome SetUpJre(const JreSetupInput& input, const JreSetupOps& ops) {
  if (!TailJreVersion(input).empty()) return SetUpOfflineJre(input, ops);
  return SetUpOnlineJre(input, ops);
}

}  // namespace ferrolan::launcher
