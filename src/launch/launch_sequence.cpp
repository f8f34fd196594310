#include "launch/launch_sequence.h"

#include <cstdio>
#include <memory>

#include "fs/file_ops.h"
#include "fs/path.h"
#include "fs/versioned_folder.h"
#include "jre/jre_layout.h"
#include "launch/java_command.h"
#include "launch/jni_launch.h"
#include "launch/jni_updater.h"
#include "log/log.h"
#include "pipeline/stages.h"
#include "process/spawner.h"
#include "tail/params.h"
#include "tail/tail_reader.h"

namespace ferrolan::launch {

using log::LogError;
using log::LogPrintf;

namespace {

using process::Spawner;

std::string ReadText(std::FILE* file, const char* label) {
  return tail::READSTRING(file, label, kLaunchTextLimit);
}

int ReadNumber(std::FILE* file, const char* label) {
  return tail::DecimalValue(tail::READSTRING(file, label, kLaunchNumberLimit));
}

// Reads a count and that many text fields. A negative count reads nothing, and the end of the
// file ends the list: a damaged file must not turn into thousands of empty arguments.
std::vector<std::string> ReadList(std::FILE* file, const char* countLabel, const char* entryLabel) {
  int count = ReadNumber(file, countLabel);
  std::vector<std::string> entries;
  for (int i = 0; i < count; ++i) {
    std::string entry = ReadText(file, entryLabel);
    if (entry.empty() && std::feof(file)) break;
    entries.push_back(std::move(entry));
  }
  return entries;
}

void LogAndFail(long code) {
  LogPrintf("***************************\n");
  LogPrintf(
      "[ERROR] Attempt to launch app failed with return code %ld! (app likely did not "
      "launch at all)\n",
      code);
  LogPrintf("***************************\n");
}

// Copies the JRE's launcher to the application's own executable name, unless it is there
// already, so the Java process runs under the application's name.
void ProvideLaunchExecutable(const std::string& source, const std::string& executable) {
  if (fs::FileExists(executable) != 0) return;
  LogPrintf("[Extractor] Copying FILE %s\n", executable.c_str());
  fs::OwnedFile in = fs::OpenFile(source, "rb");
  if (!in) {
    LogPrintf("[Extractor] *************************** Unable to open source file for copy %s\n",
              source.c_str());
    return;
  }
  // Only a missing file is copied again, so a cut copy would be taken for the launcher on every
  // later launch: the copy is made under another name and appears under its own only when it is
  // complete, even if the process is killed in between.
  const std::string part = executable + ".part";
  if (fs::CopyStreamToFile(part, in.get()) && fs::CopyPermissions(source, part) &&
      std::rename(part.c_str(), executable.c_str()) == 0) {
    return;
  }
  LogPrintf("[Extractor] Copy of %s failed; removing the incomplete file\n", source.c_str());
  std::remove(part.c_str());
}

Spawner FillSpawner(const std::vector<std::string>& list) {
  Spawner spawner = process::SpawnerCreate();
  process::SpawnerSetExe(spawner, list.front());
  for (std::size_t i = 1; i < list.size(); ++i) process::SpawnerAppend(spawner, list[i]);
  return spawner;
}

std::vector<std::string> SpawnList(const LaunchPlan& plan) {
  return BuildSpawnArguments(plan.executable, plan.mainClass, plan.jvmOptions, plan.classpath,
                             plan.appArguments);
}

}  // namespace

LaunchFile ReadLaunchFile(std::FILE* file) {
  LaunchFile launch;
  launch.version = ReadNumber(file, "LaunchFile VER");
  launch.mainClass = ReadText(file, "Class");
  launch.classOnUpdate = ReadText(file, "Class OnUpdate");
  launch.appName = ReadText(file, "App Name");
  launch.osIcns = ReadText(file, "OS ICNS");
  launch.urlRequired = ReadNumber(file, "URL Required");
  launch.jvmMem = ReadNumber(file, "jvmMem (old)");
  launch.jvmStack = ReadNumber(file, "jvmStack (old)");
  launch.classpath = ReadList(file, "Classpath Count", "Classpath Entry");
  launch.extraArguments = ReadList(file, "Extra Args Count", "Extra Args Entry");
  if (launch.version >= 3)
    launch.compatibilityClass = ReadText(file, "Main Class JRECompatibility");
  if (launch.version >= 4) {
    launch.postInstallClass = ReadText(file, "Main Class PostInstall");
    launch.preUninstallClass = ReadText(file, "Main Class PreUninstall");
  }
  if (launch.version >= 5)
    launch.appJvmOptions = ReadList(file, "App JVM Option Count", "App JVM Option Entry");
  if (launch.version >= 6) launch.mustFork = ReadNumber(file, "Must Fork");
  return launch;
}

namespace {

// The launch file of the application folder; none, after logging why, when it cannot be opened.
std::optional<LaunchFile> ReadLaunchFileIn(const std::string& appFolder) {
  std::string launchPath = appFolder;
  fs::PathJoin(launchPath, kLaunchFileName);
  fs::OwnedFile file = fs::OpenFile(launchPath, "rb");
  if (!file) {
    LogError("Unable to open launch file %s\n", launchPath.c_str());
    return std::nullopt;
  }
  return ReadLaunchFile(file.get());
}

// The application runs on the newest private JRE, under the application's own executable name
// and with that JRE's LSO file; the compatibility test runs the candidate's launcher itself.
LaunchStatus ChooseExecutable(const LaunchRequest& request, const LaunchFile& launch,
                              LaunchPlan& plan, std::optional<std::string>& lsoPath) {
  if (request.launchClass != LaunchClass::kApplication) {
    plan.executable = request.jreName;
    LogPrintf("[Extractor] Checking for existing system JRE %s\n", plan.executable.c_str());
    return LaunchStatus::kRan;
  }
  std::optional<std::string> jreFolderName = fs::PickFolder(request.masterFolder, request.jreName);
  if (!jreFolderName) {
    LogError("No private JRE available!\n");
    return LaunchStatus::kNoPrivateJre;
  }
  LogPrintf("[Extractor] Using private JRE %s\n", jreFolderName->c_str());
  plan.jreFolder = request.masterFolder;
  fs::PathJoin(plan.jreFolder, *jreFolderName);
  plan.executable = plan.jreFolder;
  fs::PathJoin(plan.executable, "bin");
  fs::PathJoin(plan.executable, jre::LaunchExecutableName(launch.appName));
  ProvideLaunchExecutable(jre::LocateJavaLauncher(plan.jreFolder), plan.executable);
  lsoPath = LsoFilePath(request.masterFolder, *jreFolderName);
  LogPrintf("[Extractor] JRE LSO file is %s\n", lsoPath->c_str());
  return LaunchStatus::kRan;
}

// The heap options come first; "jvmStack (old)" has always meant the initial heap. Returns how
// many there are.
std::size_t AddHeapOptions(const LaunchFile& launch, LaunchPlan& plan) {
  if (launch.jvmMem >= 1) plan.jvmOptions.push_back("-Xmx" + std::to_string(launch.jvmMem) + "m");
  if (launch.jvmStack >= 1)
    plan.jvmOptions.push_back("-Xms" + std::to_string(launch.jvmStack) + "m");
  return plan.jvmOptions.size();
}

// The application's own JVM options apply only when the LSO file added none: options that are
// known to have worked take precedence over the defaults the application ships.
void AddApplicationJvmOptions(const LaunchFile& launch, std::size_t heapOptions, LaunchPlan& plan) {
  const std::size_t jvmArgCount = plan.jvmOptions.size();
  const bool addToJvm = jvmArgCount == heapOptions;
  LogPrintf("[Extractor] jvmArgCount:%zu emptyArgs:%zu so addToJVM:%d\n", jvmArgCount, heapOptions,
            addToJvm ? 1 : 0);
  LogPrintf("[Extractor] Additional JRE option count is %zu\n", launch.appJvmOptions.size());
  for (const std::string& option : launch.appJvmOptions) {
    if (addToJvm) {
      plan.jvmOptions.push_back(option);
      LogPrintf("[Extractor] Added option %s\n", option.c_str());
    } else {
      LogPrintf("[Extractor] Skipping option %s\n", option.c_str());
    }
  }
}

void LogPlan(const LaunchPlan& plan) {
  LogPrintf("[Extractor] [Launch] Executable: %s\n", plan.executable.c_str());
  LogPrintf("[Extractor] [Launch] Class: %s\n", plan.mainClass.c_str());
  for (std::size_t i = 0; i < plan.jvmOptions.size(); ++i)
    LogPrintf("[Extractor] [Launch] JVM Argument %zu: %s\n", i, plan.jvmOptions[i].c_str());
  for (std::size_t i = 0; i < plan.classpath.size(); ++i)
    LogPrintf("[Extractor] [Launch] ClassPath %zu: %s\n", i, plan.classpath[i].c_str());
  for (std::size_t i = 0; i < plan.appArguments.size(); ++i)
    LogPrintf("[Extractor] [Launch] App Argument %zu: %s\n", i, plan.appArguments[i].c_str());
  LogPrintf("[Extractor] This is a newer extractor... launchclass is %d\n",
            static_cast<int>(plan.launchClass));
}

}  // namespace

PreparedLaunch PrepareLaunch(const LaunchRequest& request, const RetrySleep& sleep) {
  log::LogStart("Launching");
  LogPrintf("[Extractor] Launching '%s' from master folder '%s' of class %d using JRE '%s'\n",
            request.appFolderName.c_str(), request.masterFolder.c_str(),
            static_cast<int>(request.launchClass), request.jreName.c_str());
  std::string appFolder = request.masterFolder;
  fs::PathJoin(appFolder, request.appFolderName);
  const std::optional<LaunchFile> launch = ReadLaunchFileIn(appFolder);
  if (!launch) return {LaunchStatus::kLaunchFileUnreadable, {}};

  LaunchPlan plan;
  plan.launchClass = request.launchClass;
  plan.launchFileVersion = launch->version;
  std::optional<std::string> lsoPath;
  const LaunchStatus chosen = ChooseExecutable(request, *launch, plan, lsoPath);
  if (chosen != LaunchStatus::kRan) return {chosen, {}};
  const std::size_t heapOptions = AddHeapOptions(*launch, plan);

  LogPrintf("[Extractor] Building classpath\n");
  for (const std::string& entry : launch->classpath) {
    std::string full = appFolder;
    fs::PathJoin(full, entry);
    if (full.size() > kMaxClasspathEntry) {
      // Cut short it would name another file; the application would start without its classes.
      LogError("[Extractor] Classpath entry longer than %zu characters: %s\n", kMaxClasspathEntry,
               full.c_str());
      return {LaunchStatus::kClasspathTooLong, {}};
    }
    plan.classpath.push_back(std::move(full));
  }

  std::optional<std::string> propertiesPath = WriteLaunchProperties(
      request.properties,
      LaunchPropertiesRequest{appFolder, request.updateUrl, request.dynamicUpdateUrl,
                              request.jreName, request.launcherPath, lsoPath},
      plan.jvmOptions, sleep);
  if (!propertiesPath) return {LaunchStatus::kLaunchPropertiesUnwritable, {}};
  plan.propertiesPath = std::move(*propertiesPath);

  plan.appArguments.push_back(plan.propertiesPath);
  LogPrintf("[Extractor] Reading %ld extra args\n",
            static_cast<long>(launch->extraArguments.size()));
  plan.appArguments.insert(plan.appArguments.end(), launch->extraArguments.begin(),
                           launch->extraArguments.end());
  if (launch->version >= 3)
    LogPrintf("[Extractor] Read JRE compatibility class %s\n", launch->compatibilityClass.c_str());
  if (launch->version >= 5) AddApplicationJvmOptions(*launch, heapOptions, plan);

  plan.mainClass = request.launchClass == LaunchClass::kApplication ? launch->mainClass
                                                                    : launch->compatibilityClass;
  LogPrintf("[Extractor] Appending %zu command line args\n", request.arguments.size());
  plan.appArguments.insert(plan.appArguments.end(), request.arguments.begin(),
                           request.arguments.end());
  LogPlan(plan);
  return {LaunchStatus::kRan, std::move(plan)};
}

LaunchOutcome RunLaunch(const LaunchPlan& plan, bool forceSpawn) {
  LaunchOutcome outcome;
  if (plan.launchClass == LaunchClass::kJreCompatibility) {
    if (plan.mainClass.empty()) {
      // Launch files before version 3 name no compatibility class: with nothing to run, the
      // candidate JRE cannot pass the test.
      LogPrintf("[Extractor] Launch file version %d has no JRE compatibility class\n",
                plan.launchFileVersion);
      return outcome;
    }
    std::vector<std::string> list = SpawnList(plan);
    log::LogClose();
    Spawner spawner = FillSpawner(list);
    outcome.testExitCode = process::runSpawnerAndWait(spawner);
    if (outcome.testExitCode != 0) LogAndFail(outcome.testExitCode);
    return outcome;
  }

  LogPrintf("[Extractor] JRE folder is %s\n", plan.jreFolder.c_str());
  if (!forceSpawn) {
    LogPrintf("[Extractor] Force spawn is %d so attempting to launch via JNI\n", 0);
    log::LogStart("JNI Launch");
    std::string thrown;
    int result = JniLaunch(plan.mainClass, plan.jreFolder, plan.jvmOptions, plan.classpath,
                           plan.appArguments, &thrown);
    LogPrintf("[Extractor] Return code for JNI launch was %d\n", result);
    log::LogEnd("JNI Launch");
    if (result == 0) return outcome;
    if (result == kJniApplicationThrew) {
      // As under "java": the application has said what went wrong; the run ends with 1.
      outcome.status = LaunchStatus::kApplicationFailed;
      return outcome;
    }
    if (result == kJniMainThrew) {
      // The program ran and failed: starting it once more as a child would fail the same way.
      outcome.status = LaunchStatus::kJavaFailed;
      outcome.failure = thrown;
      return outcome;
    }
    LogPrintf("[Extractor] JNI launch failed. Attempting legacy spawn instead\n");
  }

  LogPrintf("[Extractor] Attempting spawn launch\n");
  log::LogStart("Spawn launch");
  std::vector<std::string> list = SpawnList(plan);
  log::LogClose();
  Spawner spawner = FillSpawner(list);
  // Watched for a moment: a Java process that ends at once with an error (its updater found
  // nothing it could start) is a failed start the caller reports, not a launch that worked.
  const process::WatchedStart started = process::SpawnerRunWatched(spawner, kSpawnGraceMs);
  outcome.spawned = true;
  if (!started.started) {
    LogAndFail(-1);
    outcome.status = LaunchStatus::kSpawnFailed;
  } else if (started.ended && started.exitCode != 0) {
    LogAndFail(started.exitCode);
    outcome.status = LaunchStatus::kJavaFailed;
    outcome.failure =
        "Its Java process ended at once with exit code " + std::to_string(started.exitCode) + ".";
  }
  return outcome;
}

LaunchOutcome LaunchFromMasterFolder(const LaunchRequest& request) {
  PreparedLaunch prepared = PrepareLaunch(request);
  if (prepared.status != LaunchStatus::kRan) {
    LaunchOutcome outcome;
    outcome.status = prepared.status;
    return outcome;
  }
  return RunLaunch(prepared.plan, request.forceSpawn);
}

}  // namespace ferrolan::launch
