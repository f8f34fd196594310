#include "jre/jre_search.h"

#include "fs/file_ops.h"
#include "fs/path.h"
#include "fs/versioned_folder.h"
#include "jre/java_check.h"
#include "jre/jre_layout.h"
#include "log/log.h"

namespace ferrolan::jre {
namespace {

// The updater's name in folder names: its newest folder holds the compatibility class.
constexpr const char* kUpdaterName = "Ferrolan";

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

void JRESearch(std::string& version, bool autoTest,
               const std::optional<std::string>& requiredVersion, const std::string& masterFolder,
               const std::string& /*latestUpdaterFolder*/, std::string& folder,
               const tail::LaunchPropertiesBlock& properties, int argCount, char* const* args,
               const std::string& updateUrl, const std::string& dynamicUpdateUrl,
               const std::string& launcherPath, const CompatibilityTest& compatibilityTest) {
  std::optional<std::string> root = SystemJreRoot(autoTest);
  if (!root) return;  // no place to look: nothing is taken

  for (int n = kNewestCandidate; n >= kOldestCandidate; --n) {
    log::LogPrintf("[JRESearch] Checking for JRE %d\n", n);
    std::string candidate = *root;
    fs::PathJoin(candidate, "jre" + std::to_string(n));

    std::string javaLauncher;
    if (!HasFilesAndVersion(candidate, requiredVersion, javaLauncher)) {
      log::LogPrintf("[JRESearch] JRE does not exist or does not have unpack200\n");
      continue;
    }
    log::LogPrintf("[JRESearch] JRE unpack200 exists %s\n", javaLauncher.c_str());

    std::optional<std::string> updater = fs::PickFolder(masterFolder, kUpdaterName);
    if (!updater) {
      log::LogPrintf(
          "[JRESearch] ********************* No latest App version even after download!\n");
      log::EndProcess(1);
    }
    CompatibilityRun run{masterFolder, &properties,      argCount,     args,        *updater,
                         updateUrl,    dynamicUpdateUrl, javaLauncher, launcherPath};
    // Without a test to run a candidate cannot prove itself, so it is not taken.
    int exitCode = compatibilityTest ? compatibilityTest(run) : -1;
    if (exitCode != kCompatibleExitCode) {
      log::LogPrintf("[JRESearch] JRE failed compatibility test\n");
      continue;
    }

    log::LogPrintf("[JRESearch] JRE is valid, copying...\n");
    folder = fs::TempFolderName(masterFolder);
    fs::CreateFolder(folder);
    if (fs::CopyFolder(candidate, folder) != 0) {
      log::LogPrintf("[JRESearch] JRE copy failed, cannot pick up existing JRE\n");
      return;
    }
    log::LogPrintf("[JRESearch] JRE copied to %s OK\n", folder.c_str());
    version = kSystemJreVersion;
    log::LogPrintf("[JRESearch] Copied JRE version is %s\n", version.c_str());
    return;
  }
}

}  // namespace ferrolan::jre
