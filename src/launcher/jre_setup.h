// The JRE setup of an extraction: provides the private JRE the application will run on. An
// offline build extracts the JRE archive carried in its tail; an online build copies a suitable
// JRE installed on the machine or, failing that, downloads the version the update server names.
// The result is a filled temporary folder and the versioned folder name it is to be renamed to.
//
// Every operation the setup relies on that leaves the process (network, system JRE search, the
// JRE's own launcher) goes through JreSetupOps, so the order of the steps and every failure can
// be driven in tests. Portable.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "archive/unarchiver.h"
#include "archive/update_metadata.h"
#include "jre/jre_search.h"
#include "launcher/exit_codes.h"
#include "launcher/main_flow.h"
#include "pipeline/ring_buffer.h"

namespace ferrolan::launcher {

/// A version text from outside becomes part of a folder name, so it must be one or more decimal
/// digits and nothing else: a name like "../x" or "1-2" would otherwise put the folder somewhere
/// else or make PickFolder read a different version from it.
bool IsValidVersionText(std::string_view version);

/// True when a tail entry the payload must hold was extracted whole. The end of the stream
/// where an entry is due means the payload is cut short (logged here); any other failure has
/// been logged by the reader. The entries a payload holds follow from its tail fields, so a
/// missing one is never the clean end of the payload.
bool TailEntryArrived(archive::EntryResult result);

/// Removes a temporary folder that a failed step filled only partly, so that no unverified or
/// incomplete file stays behind. Logs "[Extractor] Removing the unfinished folder %s\n".
void DiscardTempFolder(const std::string& folder);

/// The longest version text a server's version file may hold.
inline constexpr int kMaxServerVersionLength = 50;

/// What reading a downloaded version file yielded.
struct ServerVersion {
  std::string text;      // the characters before the first carriage return, line feed or blank
  bool tooLong = false;  // a 51st character was reached
};

/// Reads the version from a version file opened in text mode: characters up to the end of the
/// file, a carriage return, a line feed or a blank. Logs the characters read and the reason the
/// reading stopped under "[JREDownload] ".
ServerVersion ReadServerVersion(std::FILE* file);

/// What the JRE setup adds to the run's context.
struct JreSetupInput {
  const MainFlow* flow = nullptr;  // the run: names, URLs, properties, arguments, switches
  std::string updaterFolder;       // this run's updater folder (absolute)
  std::optional<std::string> latestUpdaterFolder;  // from the install decision
  pipeline::RingBuffer* tailBuffer = nullptr;      // positioned at the JRE archive when embedded
};

/// What the search for a system JRE found, and the exit code a failed search ends the run with
/// (a compatibility test that could not write its settings ends it with that launch's code).
struct SystemJreSearch {
  jre::JreSearchResult result;
  ExitCode failure = ExitCode::kFailure;
};

/// The operations the setup calls. SystemJreSetupOps gives the real ones.
struct JreSetupOps {
  /// Fetches the JRE's version file only so that a proxy race records the proxy that works.
  std::function<void(const std::string& updaterFolder, const std::string& updateUrl,
                     const std::string& jreName)>
      probeVersionFile;
  /// Takes over a system JRE (jre::JRESearch with a compatibility test that launches the
  /// updater's compatibility class).
  std::function<SystemJreSearch(const JreSetupInput& input)> searchSystemJre;
  /// Downloads: 1 for success, 0 for failure. The version file is bounded as every version
  /// file is (net::kMaxVersionFileBytes).
  std::function<int(const std::string& url, const std::string& file)> downloadVersionFile;
  /// `declared`, when given, is what the update folder's signed metadata says of the archive:
  /// its download stops at that length and must have that SHA-256.
  std::function<int(const std::string& url, const std::string& folder,
                    const archive::UpdateComponent* declared)>
      downloadAndExtract;
  /// The JRE the update folder's signed metadata declares, when the folder has metadata that
  /// verifies with the launcher's key and names this application; none otherwise (a folder
  /// published before it had metadata, or no folder).
  std::function<std::optional<archive::UpdateComponent>(const MainFlow& flow)> declaredJre;
  /// Extracts the next tail entry into `folder` (the JRE archive of an offline build).
  std::function<archive::EntryResult(pipeline::RingBuffer& tail, const std::string& folder)>
      extractTailEntry;
  /// Runs the JRE's launcher with "-Xshare:dump" and waits; the outcome is not examined.
  std::function<void(const std::string& javaLauncher)> regenerateClassData;
  /// The "?time=" stamp of a version-file URL.
  std::function<std::string()> millisText;
};

/// The real operations: downloads race the proxy strategies and show their progress on the
/// splash.
JreSetupOps SystemJreSetupOps();

/// The JRE the setup provides.
struct JreSetupResult {
  std::string tempFolder;  // filled, still under its temporary name
  std::string jreFolder;   // the versioned folder it is to become
  std::string version;
};

/// The outcome of the setup: the JRE, or the exit code the run ends with.
struct JreSetupOutcome {
  std::optional<JreSetupResult> jre;
  ExitCode failure = ExitCode::kFailure;
};

/// Runs the offline branch when the tail carries a JRE version, the online branch otherwise.
/// Fails after logging why. Sets the process-wide unpack200 path to the temporary folder's
/// unpacker before an archive is unpacked.
JreSetupOutcome SetUpJre(const JreSetupInput& input, const JreSetupOps& ops);

}  // namespace ferrolan::launcher
