// JRESearch: takes over a JRE installed on the machine. The candidates are the folders jre20,
// jre19, ..., jre5 under SystemJreRoot (jre/jre_layout.h); the first one that has its launcher
// and unpacker, is a recent enough release (JavaCheck) and passes the live compatibility test
// is copied into a new temporary folder of the master folder. Portable; the platforms differ
// only in the JRE layout and in how the version is read.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "tail/properties_block.h"

namespace ferrolan::jre {

/// The version a JRE taken over from the system is installed under. It is lower than any real
/// version, so every JRE with a version number counts as newer.
inline constexpr const char* kSystemJreVersion = "00000000000";

/// The numbers of the candidate folders, searched from the highest down.
inline constexpr int kNewestCandidate = 20;
inline constexpr int kOldestCandidate = 5;

/// The exit code of the compatibility class that means "this JRE can run the updater".
inline constexpr int kCompatibleExitCode = 72;

/// What the compatibility test of one candidate receives: everything the launch of the
/// updater's compatibility class (launch class 1) needs.
struct CompatibilityRun {
  std::string masterFolder;
  const tail::LaunchPropertiesBlock* properties = nullptr;
  int argCount = 0;
  char* const* args = nullptr;
  std::string updaterFolderName;  // the newest updater folder, relative to the master folder
  std::string updateUrl;          // the wrapper tail's Update URL
  std::string dynamicUpdateUrl;
  std::string javaLauncher;  // the candidate's launcher; takes the place of the JRE name
  std::string launcherPath;  // the absolute path of this launcher executable
};

/// Runs the compatibility class on a candidate and returns the test process's exit code. The
/// main flow passes a function that calls the launch with launch class 1; the log file is
/// closed by that launch, so later messages reach standard output only.
using CompatibilityTest = std::function<int(const CompatibilityRun&)>;

/// Searches the system's JREs and copies the first usable one. On success `version` becomes
/// "00000000000" and `folder` the path of the new temporary folder holding the copy. When
/// nothing is taken `version` is left as the caller passed it (which must be empty); after a
/// failed copy `folder` names the temporary folder that was started. `latestUpdaterFolder` is
/// not used: the newest updater folder is picked when a candidate is tested. Ends the process
/// with exit code 1 when a candidate is to be tested and the master folder has no updater.
void JRESearch(std::string& version, bool autoTest,
               const std::optional<std::string>& requiredVersion, const std::string& masterFolder,
               const std::string& latestUpdaterFolder, std::string& folder,
               const tail::LaunchPropertiesBlock& properties, int argCount, char* const* args,
               const std::string& updateUrl, const std::string& dynamicUpdateUrl,
               const std::string& launcherPath, const CompatibilityTest& compatibilityTest);

}  // namespace ferrolan::jre
