// The launch of an installed application: reads the launch file "FerrolanLaunch" of the
// application folder, composes the launch executable, the JVM options, the class path, the main
// class and the application arguments, writes the launch-properties file and starts Java, in
// process through JNI first and by spawning the JRE's launcher when that fails.
//
// Platforms: the launch executable is a copy of the JRE's launcher named after the application:
// bin\<App Name>.exe copied from bin\windowslauncher.exe or else bin\javaw.exe on Windows,
// bin/<App Name> copied from bin/java with its permission bits (so it stays executable) on
// POSIX. Class path entries use this build's path separator.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "launch/launch_properties.h"
#include "tail/properties_block.h"

namespace ferrolan::launch {

/// What a launch runs: the application (through the updater's launch file) or the JRE
/// compatibility test of a candidate system JRE.
enum class LaunchClass { kApplication = 0, kJreCompatibility = 1 };

/// The name of the launch file in every application folder.
inline constexpr const char* kLaunchFileName = "FerrolanLaunch";
inline constexpr int kLaunchNumberLimit = 40;
inline constexpr int kLaunchTextLimit = 1024;

/// The launch file's fields (the ones marked "read, not used" are kept for the log and tests).
/// Fields a version does not carry stay empty.
struct LaunchFile {
  int version = 0;                          // "LaunchFile VER"
  std::string mainClass;                    // "Class"
  std::string classOnUpdate;                // "Class OnUpdate"
  std::string appName;                      // "App Name"
  std::string osIcns;                       // "OS ICNS"
  int urlRequired = 0;                      // "URL Required"
  int jvmMem = 0;                           // "jvmMem (old)": maximum heap in MB
  int jvmStack = 0;                         // "jvmStack (old)": initial heap in MB
  std::vector<std::string> classpath;       // "Classpath Entry", relative to the app folder
  std::vector<std::string> extraArguments;  // "Extra Args Entry"
  std::string compatibilityClass;           // "Main Class JRECompatibility" (version 3+)
  std::string postInstallClass;             // version 4+
  std::string preUninstallClass;            // version 4+
  std::vector<std::string> appJvmOptions;   // "App JVM Option Entry" (version 5+)
  int mustFork = 0;                         // "Must Fork" (version 6+)
};

/// Everything a launch needs besides the launch file.
struct LaunchRequest {
  std::string masterFolder;
  tail::LaunchPropertiesBlock properties;  // the main flow's block; the launch adds to a copy
  std::vector<std::string> arguments;      // the launcher's own arguments, handed on at the end
  std::string appFolderName;               // the updater folder inside the master folder
  std::string updateUrl;                   // the wrapper tail's Update URL (may be "D")
  std::optional<std::string> dynamicUpdateUrl;  // the dynamic "update_url", if given
  std::string jreName;  // class 0: the private JRE's name; class 1: the candidate's launcher
  LaunchClass launchClass = LaunchClass::kApplication;
  std::string launcherPath;  // the launcher's absolute path
  bool forceSpawn = false;   // the dynamic "force_spawn": spawn instead of JNI (class 0)
};

/// How a launch ended. The launcher turns every value into its process exit code.
enum class LaunchStatus {
  kRan,                         ///< class 0: Java's main returned, or the child was started;
                                ///< class 1: the test process ran (see testExitCode)
  kSpawnFailed,                 ///< class 0: the JRE's launcher could not be started
  kLaunchFileUnreadable,        ///< the launch file cannot be opened
  kNoPrivateJre,                ///< class 0: no private JRE is installed
  kLaunchPropertiesUnwritable,  ///< the launch-properties file cannot be written
  kJavaFailed,                  ///< class 0: Java's main ended with an exception (see failure)
  kApplicationFailed,           ///< class 0: the application the updater handed over to ended
                                ///< with an exception, reported on standard error as by "java"
  kClasspathTooLong,            ///< a classpath entry's full path is over kMaxClasspathEntry
};

/// The longest full path of one classpath entry, in characters.
inline constexpr std::size_t kMaxClasspathEntry = 999;

/// How long a spawned launch watches its Java process: one that ends with an error within this
/// time failed to start.
inline constexpr int kSpawnGraceMs = 3000;

struct LaunchOutcome {
  LaunchStatus status = LaunchStatus::kRan;
  bool spawned = false;   ///< class 0: the application runs in a child process
  int testExitCode = -1;  ///< class 1: the test process's exit code (-1: it did not run)
  std::string failure;    ///< kJavaFailed: the exception's text, for the user
};

/// The composed launch, as the JNI launch and the spawn launch receive it.
struct LaunchPlan {
  LaunchClass launchClass = LaunchClass::kApplication;
  std::string executable;  // the launch executable (spawn launch only)
  std::string jreFolder;   // class 0: master folder joined with the private JRE's folder
  std::string mainClass;
  std::vector<std::string> jvmOptions;
  std::vector<std::string> classpath;
  std::vector<std::string> appArguments;
  std::string propertiesPath;  // the launch-properties file written for this launch
  int launchFileVersion = 0;
};

/// Reads the launch file's fields in order from `file`. Counts below 0 count as 0, and a file
/// that ends before a count is reached yields only the entries it holds.
LaunchFile ReadLaunchFile(std::FILE* file);

/// Reads the launch file and writes the launch-properties file, logging every step, and
/// returns what is to be run. Fails (kLaunchFileUnreadable, kNoPrivateJre,
/// kLaunchPropertiesUnwritable) after logging why; nothing is run then.
struct PreparedLaunch {
  LaunchStatus status = LaunchStatus::kRan;  ///< kRan: `plan` is ready
  LaunchPlan plan;
};
PreparedLaunch PrepareLaunch(const LaunchRequest& request, const RetrySleep& sleep = {});

/// Starts what `plan` describes. Class 0: JNI unless `forceSpawn`, and the spawn launch when
/// JNI is off or fails; kRan after a JNI launch whose main method has returned or a child that
/// was started (the log is closed then), kSpawnFailed when it could not be started. Class 1:
/// runs the test process and waits for it; testExitCode is its exit code, or -1 when it cannot
/// be started or the launch file names no compatibility class.
LaunchOutcome RunLaunch(const LaunchPlan& plan, bool forceSpawn);

/// The whole launch: PrepareLaunch and RunLaunch.
LaunchOutcome LaunchFromMasterFolder(const LaunchRequest& request);

}  // namespace ferrolan::launch
