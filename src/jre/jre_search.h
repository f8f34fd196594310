// JRESearch: takes over a JRE installed on the machine. The candidates are the folders jre20,
// jre19, ..., jre5 under SystemJreRoot (jre/jre_layout.h); the first one that has its launcher
// and unpacker, is a recent enough release (JavaCheck) and passes the live compatibility test
// is copied into a new temporary folder of the master folder. Portable; the platforms differ
// only in the JRE layout and in how the version is read.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace ferrolan::jre {

/// The version a JRE taken over from the system is installed under. It is lower than any real
/// version, so every JRE with a version number counts as newer.
inline constexpr const char* kSystemJreVersion = "00000000000";

/// The numbers of the candidate folders, searched from the highest down.
inline constexpr int kNewestCandidate = 20;
inline constexpr int kOldestCandidate = 5;

/// What the compatibility test of one candidate receives.
struct CompatibilityRun {
  std::string updaterFolderName;  // the newest updater folder, relative to the master folder
  std::string javaLauncher;       // the candidate's launcher; takes the place of the JRE name
};

/// The verdict of a compatibility test. kAbort: the test could not be run for a reason that
/// ends the whole run (its message is logged); the search stops at once.
enum class Compatibility { kCompatible, kIncompatible, kAbort };

/// Runs the compatibility class on a candidate. The main flow passes a function that calls the
/// launch with launch class 1; the log file is closed by that launch, so later messages reach
/// standard output only.
using CompatibilityTest = std::function<Compatibility(const CompatibilityRun&)>;

/// What the search is entered with.
struct JreSearchRequest {
  std::string masterFolder;
  bool autoTest = false;  // search the test root instead of the system's
  std::optional<std::string> requiredVersion;
  CompatibilityTest compatibilityTest;  // a candidate without a test to run is not taken
};

enum class JreSearchStatus {
  kTaken,     ///< a JRE was copied: `version` is "00000000000", `folder` holds the copy
  kNotTaken,  ///< nothing usable, or the copy failed (`folder` then names the started folder)
  kFailed,    ///< the run cannot go on: a candidate was to be tested and the master folder
              ///< has no updater, or the test aborted
};

struct JreSearchResult {
  JreSearchStatus status = JreSearchStatus::kNotTaken;
  std::string version;
  std::string folder;
};

/// Searches the system's JREs and copies the first usable one.
JreSearchResult JRESearch(const JreSearchRequest& request);

}  // namespace ferrolan::jre
