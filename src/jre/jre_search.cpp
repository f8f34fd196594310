#include "jre/jre_search.h"

#include "fs/file_ops.h"
#include "fs/path.h"
#include "fs/versioned_folder.h"
#include "jre/java_check.h"
#include "jre/jre_layout.h"
#include "log/log.h"
#include "tail/payload_layout.h"

namespace ferrolan::jre {
namespace {

// The updater's newest folder holds the compatibility class.
using tail::kUpdaterName;

// Whether the candidate has what an installed JRE needs. Every test runs and is logged even
// when an earlier one failed, so the log tells everything that is wrong with a candidate.
bool HasFilesAndVersion(const std::string& candidate,
                        const std::optional<std::string>& requiredVersion,
                        std::string& javaLauncher) {
  std::string unpack200 = LocateUnpack200(candidate);
  javaLauncher = LocateJavaLauncher(candidate);
  std::string java = JavaExecutablePath(candidate);
  log::LogPrintf("[JRESearch] Looking at JRE %s\n", javaLauncher.c_str());

  bool launcherExists = fs::FileExists(javaLauncher) != 0;
  log::LogPrintf(launcherExists ? "[JRESearch] JRE binary exists\n"
                                : "[JRESearch] JRE binary does NOT exist\n");
  bool unpackerExists = fs::FileExists(unpack200) != 0;
  log::LogPrintf(unpackerExists ? "[JRESearch] JRE up200 exists\n"
                                : "[JRESearch] JRE up200 does NOT exist\n");
  bool versionOk = JavaCheck(java, requiredVersion) != 0;
  log::LogPrintf(versionOk ? "[JRESearch] JRE version is OK\n"
                           : "[JRESearch] JRE version is NOT OK\n");
  return launcherExists && unpackerExists && versionOk;
}

}  // namespace

JreSearchResult JRESearch(const JreSearchRequest& request) {
  JreSearchResult result;
  std::optional<std::string> root = SystemJreRoot(request.autoTest);
  if (!root) return result;  // no place to look: nothing is taken

  for (int n = kNewestCandidate; n >= kOldestCandidate; --n) {
    log::LogPrintf("[JRESearch] Checking for JRE %d\n", n);
    std::string candidate = *root;
    fs::PathJoin(candidate, "jre" + std::to_string(n));

    std::string javaLauncher;
    if (!HasFilesAndVersion(candidate, request.requiredVersion, javaLauncher)) {
      log::LogPrintf("[JRESearch] JRE does not exist or does not have unpack200\n");
      continue;
    }
    log::LogPrintf("[JRESearch] JRE unpack200 exists %s\n", javaLauncher.c_str());

    std::optional<std::string> updater = fs::PickFolder(request.masterFolder, kUpdaterName);
    if (!updater) {
      log::LogPrintf(
          "[JRESearch] ********************* No latest App version even after download!\n");
      result.status = JreSearchStatus::kFailed;
      return result;
    }
    // Without a test to run a candidate cannot prove itself, so it is not taken.
    const Compatibility verdict = request.compatibilityTest
                                      ? request.compatibilityTest({*updater, javaLauncher})
                                      : Compatibility::kIncompatible;
    if (verdict == Compatibility::kAbort) {
      result.status = JreSearchStatus::kFailed;
      return result;
    }
    if (verdict != Compatibility::kCompatible) {
      log::LogPrintf("[JRESearch] JRE failed compatibility test\n");
      continue;
    }

    log::LogPrintf("[JRESearch] JRE is valid, copying...\n");
    // The copy goes into a folder this run has just created, so it cannot be written through
    // a link someone planted at the temporary name.
    std::optional<std::string> temp = fs::CreateTempFolder(request.masterFolder);
    if (!temp) {
      log::LogPrintf("[JRESearch] JRE copy failed, cannot pick up existing JRE\n");
      return result;
    }
    result.folder = *temp;
    if (fs::CopyFolder(candidate, result.folder) != 0) {
      log::LogPrintf("[JRESearch] JRE copy failed, cannot pick up existing JRE\n");
      return result;
    }
    log::LogPrintf("[JRESearch] JRE copied to %s OK\n", result.folder.c_str());
    result.version = kSystemJreVersion;
    result.status = JreSearchStatus::kTaken;
    log::LogPrintf("[JRESearch] Copied JRE version is %s\n", result.version.c_str());
    return result;
  }
  return result;
}

}  // namespace ferrolan::jre
