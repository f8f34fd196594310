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
  std::string dynamicUpdateUrl;            // the dynamic "update_url"; empty when not given
  std::string jreName;  // class 0: the private JRE's name; class 1: the candidate's launcher
  LaunchClass launchClass = LaunchClass::kApplication;
  std::string launcherPath;  // the launcher's absolute path
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
/// returns what is to be run. Ends the process with exit code 1 when the launch file cannot be
/// opened or (class 0) there is no private JRE, and with 99 when the launch-properties file
/// cannot be written.
LaunchPlan PrepareLaunch(const LaunchRequest& request, const RetrySleep& sleep = {});

/// Starts what `plan` describes. Class 0: JNI unless force spawn is set, and the spawn launch
/// when JNI is off or fails; returns 0 after a JNI launch whose main method has returned, and
/// otherwise ends the process with 0 (child started) or -1 (it could not be started). Class 1:
/// runs the test process, waits for it and returns its exit code, or -1 when it cannot be
/// started or the launch file names no compatibility class.
int RunLaunch(const LaunchPlan& plan);

/// The whole launch: PrepareLaunch and RunLaunch. The parameters are those of the main flow's
/// "run as installed" and extraction steps; `args` holds `argCount` arguments.
int LaunchFromMasterFolder(const std::string& masterFolder,
                           const tail::LaunchPropertiesBlock& properties, int argCount,
                           char* const* args, const std::string& appFolderName,
                           const std::string& updateUrl, const std::string& dynamicUpdateUrl,
                           const std::string& jreName, LaunchClass launchClass,
                           const std::string& launcherPath);

}  // namespace ferrolan::launch
