// The launch with a real Java runtime and the classes of java/: in process through JNI, spawned,
// and the updater starting the demo application. Native builds with a JDK only; the others skip.
//
// A virtual machine can be created only once per process, and a spawn launch ends the process,
// so every launch here runs in a death-test child. The private JRE is a folder of its own with
// its own bin/ (the launch copies its launcher there) and everything else linked to the JDK, so
// nothing is ever written into the JDK itself.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "launch/jni_launch.h"
#include "launch/launch_sequence.h"
#include "log/log.h"
#include "tail/params.h"
#include "testing/environment.h"
#include "testing/files.h"
#include "testing/tail_builder.h"
#include "testing/temp_folder.h"

// Read by AddressSanitizer builds only. A process that has run a Java virtual machine cannot be
// checked for leaks at exit: the JVM's threads and its own use of SIGSEGV make LeakSanitizer's
// exit-time scan fail, although nothing leaked. Address errors are still reported.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

namespace ferrolan::launch {
namespace {

namespace stdfs = std::filesystem;
using testing::LaunchFileContents;
using LaunchTest = testing::LoggedTempFolderTest;
using testing::ReadFile;
using testing::WaitForFile;
using testing::WriteFile;

#if defined(FERROLAN_DEMO_JAR) && defined(FERROLAN_UPDATER_JAR) && defined(FERROLAN_JDK_HOME)
constexpr bool kHaveJava = true;
constexpr const char* kDemoJar = FERROLAN_DEMO_JAR;
constexpr const char* kUpdaterJar = FERROLAN_UPDATER_JAR;
constexpr const char* kJdkHome = FERROLAN_JDK_HOME;
#else
constexpr bool kHaveJava = false;
constexpr const char* kDemoJar = "";
constexpr const char* kUpdaterJar = "";
constexpr const char* kJdkHome = "";
#endif

constexpr const char* kUpdaterFolder = "Ferrolan-Ferrolan-00000000003-complete";
constexpr const char* kJreFolder = "Ferrolan-jre17-00000000001-complete";
// The system class loader: the one that loads the application, as under "java", whether it runs
// in the updater's virtual machine or in one of its own.
constexpr const char* kSystemLoader = "jdk.internal.loader.ClassLoaders$AppClassLoader";

// A handler for Java's exit that leaves a mark of the code it got, then exits with it.
std::string& ExitMarker() {
  static std::string path;
  return path;
}
void MarkAndExit(int exitCode) {
  std::ofstream(ExitMarker()) << exitCode;
  std::exit(exitCode);
}

class RealJvmTest : public LaunchTest {
 protected:
  void SetUp() override {
    if (!kHaveJava) GTEST_SKIP() << "this build has no JDK";
    // A fresh process for every launch: a forked child would inherit whatever JVM library an
    // earlier test of this binary loaded (the stand-in one), and the JDK's own libraries would
    // bind to it.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    LaunchTest::SetUp();
  }
  std::string Master() { return Path("master"); }
  std::string InMaster(const std::string& relative) { return Path("master/" + relative); }
  std::string Report() { return Path("report.txt"); }

  // The private JRE. Its bin/java is a small script that runs the JDK's launcher, so a copy of
  // it under the application's name works from any folder; lib/ (with libjvm.so) and the rest
  // are links to the JDK unless `withJvm` is false.
  void InstallJre(bool withJvm) {
    std::string jre = InMaster(kJreFolder);
    stdfs::create_directories(jre + "/bin");
    std::string java = jre + "/bin/java";
    WriteFile(java, std::string("#!/bin/sh\nexec '") + kJdkHome + "/bin/java' \"$@\"\n");
    stdfs::permissions(
        java, stdfs::perms::owner_all | stdfs::perms::group_read | stdfs::perms::group_exec);
    if (!withJvm) return;
    for (const char* entry : {"lib", "conf", "release"}) {
      stdfs::path target = stdfs::path(kJdkHome) / entry;
      if (stdfs::is_directory(target))
        stdfs::create_directory_symlink(target, stdfs::path(jre) / entry);
      else
        stdfs::create_symlink(target, stdfs::path(jre) / entry);
    }
  }
  // An installed component with `contents` as launch file and `jar` as its only class path entry.
  void InstallComponent(const std::string& folder, LaunchFileContents contents,
                        const std::string& jar) {
    stdfs::create_directories(InMaster(folder));
    stdfs::copy_file(jar, InMaster(folder + "/app.jar"));
    contents.classpath = {"app.jar"};
    WriteFile(InMaster(folder + "/" + kLaunchFileName), contents.Bytes());
  }
  void InstallDemoAsUpdater() {
    LaunchFileContents contents;
    contents.mainClass = "com.ferrolan.demo.DemoApp";
    contents.extraArguments = {"extra one"};
    contents.appJvmOptions = {"-Dferrolan.demo.report=" + Report()};
    InstallComponent(kUpdaterFolder, contents, kDemoJar);
  }
  // Runs the launch of class 0 in a child process (a JVM can be created once per process) that
  // exits with 0 after a launch that ran: Java's main returned, or the child was started; with 1
  // when the application's main threw, as the launcher does.
  void LaunchInChild(bool forceSpawn, const std::string& appName = "DemoApp", int exitCode = 0) {
    std::string master = Master();
    EXPECT_EXIT(
        {
          LaunchRequest request;
          request.masterFolder = master;
          tail::AddStaticProperty(request.properties, "app_name", appName);
          request.arguments = {"command line"};
          request.appFolderName = kUpdaterFolder;
          request.updateUrl = "http://u/";
          request.jreName = "jre17";
          request.launcherPath = "L";
          request.forceSpawn = forceSpawn;
          const LaunchOutcome result = LaunchFromMasterFolder(request);
          std::fflush(nullptr);
          std::exit(result.status == LaunchStatus::kRan                 ? 0
                    : result.status == LaunchStatus::kApplicationFailed ? 1
                                                                        : 3);
        },
        ::testing::ExitedWithCode(exitCode), "");
  }
  // The text of the updater's logs in the master folder; empty when there are none.
  std::string UpdaterLogs() {
    std::string text;
    if (!stdfs::is_directory(InMaster("logs"))) return text;
    for (const auto& entry : stdfs::directory_iterator(InMaster("logs")))
      if (entry.path().filename().string().rfind("Updater-", 0) == 0)
        text += ReadFile(entry.path());
    return text;
  }
  std::string ReportLine(const std::string& text, const std::string& name) {
    std::size_t at = text.find(name + ": ");
    if (at == std::string::npos) return "<none>";
    at += name.size() + 2;
    return text.substr(at, text.find('\n', at) - at);
  }
};

TEST_F(RealJvmTest, JniRunsTheMainClassInsideTheLauncherProcess) {
  InstallJre(true);
  InstallDemoAsUpdater();
  LaunchInChild(false);
  ASSERT_TRUE(WaitForFile(Report(), 5));
  std::string report = ReadFile(Report());
  // In process: the Java code runs in the test binary, not in a java launcher.
  EXPECT_NE(ReportLine(report, "command").find("ferrolan_launch_test"), std::string::npos)
      << report;
  std::string properties = ReportLine(report, "argument 0");
  EXPECT_EQ(properties.rfind(InMaster(std::string(kUpdaterFolder) + "/FLLaunchProperties-"), 0),
            0u);
  EXPECT_EQ(ReportLine(report, "argument 1"), "extra one");
  EXPECT_EQ(ReportLine(report, "argument 2"), "command line");
  EXPECT_NE(report.find("jvm option: -Dferrolan.demo.report=" + Report() + "\n"),
            std::string::npos);
  EXPECT_EQ(ReportLine(report, "property flstat_app_dir"), InMaster(kUpdaterFolder));
  EXPECT_EQ(ReportLine(report, "classpath"), InMaster(std::string(kUpdaterFolder) + "/app.jar"));
}

TEST_F(RealJvmTest, ForceSpawnRunsTheApplicationInAJavaProcess) {
  InstallJre(true);
  InstallDemoAsUpdater();
  LaunchInChild(true);
  ASSERT_TRUE(WaitForFile(Report(), 60));
  std::string report = ReadFile(Report());
  EXPECT_EQ(ReportLine(report, "command").find("ferrolan_launch_test"), std::string::npos);
  EXPECT_EQ(ReportLine(report, "argument 2"), "command line");
  EXPECT_TRUE(stdfs::exists(InMaster(std::string(kJreFolder) + "/bin/DemoApp")));
}

TEST_F(RealJvmTest, JreWithoutJvmLibraryIsSpawnedInstead) {
  InstallJre(false);
  InstallDemoAsUpdater();
  LaunchInChild(false);
  ASSERT_TRUE(WaitForFile(Report(), 60));
  std::string report = ReadFile(Report());
  EXPECT_EQ(ReportLine(report, "command").find("ferrolan_launch_test"), std::string::npos);
  EXPECT_EQ(ReportLine(report, "argument 1"), "extra one");
}

TEST_F(RealJvmTest, CompatibilityClassPassesWithExitCode72) {
  LaunchFileContents contents;
  contents.version = 3;
  contents.compatibilityClass = "com.ferrolan.updater.CompatibilityCheck";
  InstallComponent(kUpdaterFolder, contents, kUpdaterJar);
  LaunchRequest request;
  request.masterFolder = Master();
  request.appFolderName = kUpdaterFolder;
  request.updateUrl = "http://u/";
  request.jreName = std::string(kJdkHome) + "/bin/java";
  request.launchClass = LaunchClass::kJreCompatibility;
  request.launcherPath = "L";
  EXPECT_EQ(RunLaunch(PrepareLaunch(request).plan, false).testExitCode, 72);
}

// The updater between the launcher and the application: the application gets exactly its launch
// file's arguments and the user's, finds the launcher's settings in system properties, runs with
// its own version's options, and the updater's options alone go into the LSO file.
TEST_F(RealJvmTest, UpdaterStartsTheNewestApplicationWithItsOwnArgumentsAndOptions) {
  InstallJre(true);
  LaunchFileContents updater;
  updater.mainClass = "com.ferrolan.updater.Updater";
  updater.appJvmOptions = {"-Dferrolan.test.updaterOption=1"};
  InstallComponent(kUpdaterFolder, updater, kUpdaterJar);
  LaunchFileContents app;
  app.mainClass = "com.ferrolan.demo.DemoApp";
  app.extraArguments = {"from the app's launch file"};
  app.appJvmOptions = {"-Dferrolan.demo.report=" + Report()};
  InstallComponent("Ferrolan-DemoApp-00000000002-complete", app, kDemoJar);
  app.appJvmOptions = {"-Dferrolan.demo.report=" + Path("old.txt")};
  InstallComponent("Ferrolan-DemoApp-00000000001-complete", app, kDemoJar);
  WriteFile(InMaster("FLAppsSharedConfig/DetectedProxy"), "proxy:3128\r\nlocalhost");
  // The options an earlier version recorded must not win over the new version's own.
  WriteFile(LsoFilePath(Master(), kJreFolder),
            testing::Fields({"1", "-Dferrolan.demo.report=" + Path("old.txt")}));

  LaunchInChild(false);  // the updater waits for the application, so it has ended here
  ASSERT_TRUE(WaitForFile(Report(), 5));
  std::string report = ReadFile(Report());
  EXPECT_EQ(ReportLine(report, "classpath"),
            InMaster("Ferrolan-DemoApp-00000000002-complete/app.jar"));
  EXPECT_EQ(ReportLine(report, "argument 0"), "from the app's launch file");
  EXPECT_EQ(ReportLine(report, "argument 1"), "command line");
  EXPECT_EQ(ReportLine(report, "argument 2"), "<none>");
  EXPECT_NE(report.find("jvm option: -Dferrolan.proxy.list=proxy:3128\n"), std::string::npos);
  EXPECT_NE(report.find("jvm option: -Dferrolan.proxy.bypass=localhost\n"), std::string::npos);
  EXPECT_NE(report.find("jvm option: -Dferrolan.appVersion=2\n"), std::string::npos);
  // The user's arguments, for a restart through the launcher (percent-encoded, one space apart).
  EXPECT_NE(report.find("jvm option: -Dferrolan.arguments=command%20line\n"), std::string::npos);
  EXPECT_NE(report.find("jvm option: -Dferrolan.launchProperties=" + InMaster(kUpdaterFolder)),
            std::string::npos);
  EXPECT_EQ(report.find("-Dferrolan.test.updaterOption"), std::string::npos) << report;
  // The launch-properties file reached the application, and is gone once the run ended.
  EXPECT_EQ(ReportLine(report, "property flstat_app_name"), "DemoApp");
  for (const auto& entry : stdfs::directory_iterator(InMaster(kUpdaterFolder)))
    EXPECT_NE(entry.path().filename().string().rfind("FLLaunchProperties-", 0), 0u);
  EXPECT_EQ(ReadFile(LsoFilePath(Master(), kJreFolder)),
            testing::Fields({"1", "-Dferrolan.test.updaterOption=1"}));
}

// A newest version that cannot start (its main class is not in its jar) falls back to the one
// before it; the application's name holds a "-". Versions older than the one before the
// running one go.
TEST_F(RealJvmTest, UpdaterFallsBackFromABrokenReleaseAndRemovesWhatEarlierRunsLeft) {
  InstallJre(true);
  LaunchFileContents updater;
  updater.mainClass = "com.ferrolan.updater.Updater";
  InstallComponent(kUpdaterFolder, updater, kUpdaterJar);
  LaunchFileContents app;
  app.mainClass = "com.example.Missing";
  InstallComponent("Ferrolan-Demo-App-00000000004-complete", app, kDemoJar);
  app.mainClass = "com.ferrolan.demo.DemoApp";
  app.appJvmOptions = {"-Dferrolan.demo.report=" + Report()};
  for (const char* version : {"3", "2", "1"})
    InstallComponent(std::string("Ferrolan-Demo-App-0000000000") + version + "-complete", app,
                     kDemoJar);
  // What killed runs left: a launch-properties file of two days ago goes, one of a run that may
  // still be going stays; so does a folder an earlier clean-up renamed but could not delete.
  const std::string updaterFolder = InMaster(kUpdaterFolder) + "/";
  WriteFile(updaterFolder + "FLLaunchProperties-1-1", "old");
  stdfs::last_write_time(updaterFolder + "FLLaunchProperties-1-1",
                         stdfs::file_time_type::clock::now() - std::chrono::hours(48));
  WriteFile(updaterFolder + "FLLaunchProperties-2-2", "recent");
  stdfs::create_directories(InMaster("FerrolanTrash-1/lib"));
  WriteFile(InMaster("FerrolanTrash-1/lib/file"), "left");

  // The updater's log is named and its lines are stamped with the local time: here India's,
  // half an hour off the hour and without daylight saving.
  testing::ScopedEnvironment environment;
  environment.Set("TZ", "Asia/Kolkata");
  const std::time_t before = std::time(nullptr);
  LaunchInChild(false, "Demo-App");
  const std::time_t after = std::time(nullptr);
  ASSERT_TRUE(WaitForFile(Report(), 5));
  EXPECT_EQ(ReportLine(ReadFile(Report()), "classpath"),
            InMaster("Ferrolan-Demo-App-00000000003-complete/app.jar"));
  // The broken release stays for the launcher's next look, the running version and the one
  // before it stay, the older one goes.
  for (const char* kept : {"4", "3", "2"})
    EXPECT_TRUE(
        stdfs::exists(InMaster(std::string("Ferrolan-Demo-App-0000000000") + kept + "-complete")));
  EXPECT_FALSE(stdfs::exists(InMaster("Ferrolan-Demo-App-00000000001-complete")));
  EXPECT_FALSE(stdfs::exists(updaterFolder + "FLLaunchProperties-1-1"));
  EXPECT_TRUE(stdfs::exists(updaterFolder + "FLLaunchProperties-2-2"));
  EXPECT_FALSE(stdfs::exists(InMaster("FerrolanTrash-1")));
  std::string log;
  std::string logName;
  for (const auto& entry : stdfs::directory_iterator(InMaster("logs"))) {
    if (entry.path().filename().string().rfind("Updater-", 0) == 0) {
      logName = entry.path().filename().string();
      log = ReadFile(entry.path());
    }
  }
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
  long pid = 0;
  ASSERT_EQ(std::sscanf(logName.c_str(), "Updater-%4d-%2d-%2d-%2d-%2d-%2d-%ld.log", &y, &mo, &d, &h,
                        &mi, &sec, &pid),
            7)
      << logName;
  namespace chrono = std::chrono;
  const chrono::sys_seconds stamped =
      chrono::sys_days{chrono::year{y} / chrono::month{static_cast<unsigned>(mo)} /
                       chrono::day{static_cast<unsigned>(d)}} +
      chrono::hours{h} + chrono::minutes{mi} + chrono::seconds{sec} - chrono::minutes{330};
  EXPECT_GE(stamped.time_since_epoch().count(), before - 1) << logName;
  EXPECT_LE(stamped.time_since_epoch().count(), after + 1) << logName;
  // Lines start with the local time of day, to the millisecond.
  ASSERT_GE(log.size(), 13u);
  int lineH = -1, lineMi = -1, lineSec = -1, lineMs = -1;
  ASSERT_EQ(std::sscanf(log.c_str(), "%2d:%2d:%2d.%3d ", &lineH, &lineMi, &lineSec, &lineMs), 4)
      << log;
  EXPECT_EQ(log[12], ' ') << log;
  const int lineSeconds = (lineH * 60 + lineMi) * 60 + lineSec;
  EXPECT_NEAR(lineSeconds, (h * 60 + mi) * 60 + sec, 5) << log;
  EXPECT_NE(log.find("com.example.Missing is not in its class path"), std::string::npos) << log;
  EXPECT_NE(log.find("Falling back to the previous version Ferrolan-Demo-App-00000000003"),
            std::string::npos)
      << log;
}

// An application that declares the updater's own settings runs in the updater's virtual machine
// as "java" would have started it: its classes on the system class path, where the updater's
// are not, its main at the bottom of the main thread (the X11 window class is taken from that
// frame), with the launcher's settings as system properties; the run
// outlives main while the application's threads run, and System.exit ends it with its code. One
// that asks for a virtual machine of its own, or declares other settings, gets a new one.
TEST_F(RealJvmTest, UpdaterRunsAnApplicationWithItsOwnSettingsInItsVirtualMachine) {
  InstallJre(true);
  const std::vector<std::string> options = {"-Dferrolan.demo.report=" + Report(),
                                            "-Dferrolan.demo.exit=3"};
  LaunchFileContents updater;
  updater.mainClass = "com.ferrolan.updater.Updater";
  updater.jvmMem = 64;
  updater.appJvmOptions = options;
  InstallComponent(kUpdaterFolder, updater, kUpdaterJar);
  LaunchFileContents app;
  app.mainClass = "com.ferrolan.demo.DemoApp";
  app.jvmMem = 64;
  app.extraArguments = {"from the app's launch file"};
  app.appJvmOptions = options;
  InstallComponent("Ferrolan-DemoApp-00000000002-complete", app, kDemoJar);

  const auto ranByJava = [this](const std::string& report) {
    const std::string command = ReportLine(report, "command");
    return command.size() >= 5 && command.compare(command.size() - 5, 5, "/java") == 0;
  };
  // System.exit reaches the launcher's handler first, which ends the process with its code.
  ExitMarker() = InMaster("java-exit.txt");
  SetJavaExitHandler(&MarkAndExit);
  LaunchInChild(false, "DemoApp", 3);
  SetJavaExitHandler(nullptr);
  EXPECT_EQ(ReadFile(InMaster("java-exit.txt")), "3");
  std::string report = ReadFile(Report());
  EXPECT_FALSE(ranByJava(report)) << report;
  EXPECT_EQ(ReportLine(report, "class loader"), kSystemLoader);
  EXPECT_EQ(ReportLine(report, "system class loader sees it"), "true");
  EXPECT_EQ(ReportLine(report, "system class loader sees the updater"), "false");
  EXPECT_EQ(ReportLine(report, "bottom frame"), "com.ferrolan.demo.DemoApp");
  EXPECT_EQ(ReportLine(report, "sun.java.command"),
            "com.ferrolan.demo.DemoApp from the app's launch file command line");
  // Programs find their own jar through their classes' code source.
  EXPECT_EQ(ReportLine(report, "code source"),
            "file:" + InMaster("Ferrolan-DemoApp-00000000002-complete/app.jar"));
  EXPECT_EQ(ReportLine(report, "classpath"),
            InMaster("Ferrolan-DemoApp-00000000002-complete/app.jar"));
  EXPECT_EQ(ReportLine(report, "argument 0"), "from the app's launch file");
  EXPECT_EQ(ReportLine(report, "argument 1"), "command line");
  EXPECT_EQ(ReportLine(report, "system property ferrolan.appVersion"), "2");
  EXPECT_EQ(ReportLine(report, "system property ferrolan.arguments"), "command%20line");
  EXPECT_EQ(ReportLine(report, "property flstat_app_name"), "DemoApp");
  // Removed by the shutdown hook, though the application ended the run itself.
  for (const auto& entry : stdfs::directory_iterator(InMaster(kUpdaterFolder)))
    EXPECT_NE(entry.path().filename().string().rfind("FLLaunchProperties-", 0), 0u);

  // Version 3 asks for a virtual machine of its own; version 4 declares another heap size.
  for (const char* version : {"3", "4"}) {
    stdfs::remove(Report());
    app.mustFork = 1;
    if (version[0] == '4') {
      app.mustFork = 0;
      app.jvmMem = 128;
    }
    InstallComponent(std::string("Ferrolan-DemoApp-0000000000") + version + "-complete", app,
                     kDemoJar);
    LaunchInChild(false, "DemoApp", 3);
    report = ReadFile(Report());
    EXPECT_TRUE(ranByJava(report)) << version << "\n" << report;
    EXPECT_EQ(ReportLine(report, "class loader"), kSystemLoader);
    EXPECT_EQ(ReportLine(report, "system property ferrolan.appVersion"), version);
  }

  // An exception out of the application's main ends the run with 1, and the updater logs it.
  const std::vector<std::string> failing = {"-Dferrolan.demo.report=" + Report(),
                                            "-Dferrolan.demo.fail=1"};
  updater.appJvmOptions = failing;
  updater.classpath = {"app.jar"};
  WriteFile(InMaster(std::string(kUpdaterFolder) + "/" + kLaunchFileName), updater.Bytes());
  app.appJvmOptions = failing;
  app.jvmMem = 64;
  InstallComponent("Ferrolan-DemoApp-00000000005-complete", app, kDemoJar);
  stdfs::remove(Report());
  LaunchInChild(false, "DemoApp", 1);
  EXPECT_EQ(ReportLine(ReadFile(Report()), "class loader"), kSystemLoader);
  const std::string log = UpdaterLogs();
  EXPECT_NE(log.find("com.ferrolan.demo.DemoApp of Ferrolan-DemoApp-00000000005-complete failed: "
                     "java.lang.IllegalStateException: the demo was asked to fail"),
            std::string::npos)
      << log;
}

// The updater runs before every start, so what it does before the application's main must cost
// no more than a start through "java": the virtual machine's log of the classes it loaded up to
// main holds none of the machinery the updater stays off (lambdas, streams, regular expressions,
// java.time, file channels), and neither the log file nor the clean-up of old versions has
// started yet; both wait until the application is on its way.
TEST_F(RealJvmTest, TheUpdaterLoadsNothingCostlyBeforeTheApplicationsMain) {
  InstallJre(true);
  const std::string classLog = Path("classes.log");
  LaunchFileContents updater;
  updater.mainClass = "com.ferrolan.updater.Updater";
  updater.appJvmOptions = {"-Dferrolan.demo.report=" + Report(),
                           "-Xlog:class+load,class+init=debug:file=" + classLog};
  InstallComponent(kUpdaterFolder, updater, kUpdaterJar);
  LaunchFileContents app = updater;
  app.mainClass = "com.ferrolan.demo.DemoApp";
  InstallComponent("Ferrolan-DemoApp-00000000002-complete", app, kDemoJar);
  InstallComponent("Ferrolan-DemoApp-00000000001-complete", app, kDemoJar);

  LaunchInChild(false);
  EXPECT_EQ(ReportLine(ReadFile(Report()), "class loader"), kSystemLoader);
  const std::string classes = ReadFile(classLog);
  // The application's main class is initialised when the updater calls its main (the log
  // spells its name with slashes).
  const std::size_t main = classes.find("Initializing 'com/ferrolan/demo/DemoApp'");
  ASSERT_NE(main, std::string::npos) << classes.substr(0, 2000);
  const std::string beforeMain = classes.substr(0, main);
  for (const char* costly :
       {"java.lang.invoke.LambdaMetafactory ", "java.util.stream.", "java.util.regex.",
        "java.time.", "sun.nio.ch.FileChannelImpl ", "com.ferrolan.updater.log.LocalClock ",
        "com.ferrolan.updater.installed.CleanUp "})
    EXPECT_EQ(beforeMain.find(costly), std::string::npos) << costly;
  // And once the application was on its way, the chores ran.
  EXPECT_NE(classes.find("com.ferrolan.updater.installed.CleanUp ", main), std::string::npos);
}

// An application that ends the run through System.exit in main, before the updater's chores
// could run, still gets the updater's log completed and its launch-properties file removed.
TEST_F(RealJvmTest, AnExitFromMainStillCompletesTheUpdatersLog) {
  InstallJre(true);
  LaunchFileContents updater;
  updater.mainClass = "com.ferrolan.updater.Updater";
  updater.jvmMem = 64;
  updater.appJvmOptions = {"-Dferrolan.demo.exitInMain=5"};
  InstallComponent(kUpdaterFolder, updater, kUpdaterJar);
  LaunchFileContents app = updater;
  app.mainClass = "com.ferrolan.demo.DemoApp";
  InstallComponent("Ferrolan-DemoApp-00000000002-complete", app, kDemoJar);

  // The exit races the chores' thread: a few runs, each checked on its own (a launch in a child
  // process sets the test's folders up afresh).
  for (int run = 0; run < 3; ++run) {
    LaunchInChild(false, "DemoApp", 5);
    const std::string log = UpdaterLogs();
    EXPECT_NE(log.find("Starting com.ferrolan.demo.DemoApp of "
                       "Ferrolan-DemoApp-00000000002-complete in this virtual machine"),
              std::string::npos)
        << "run " << run << ": " << log;
    for (const auto& entry : stdfs::directory_iterator(InMaster(kUpdaterFolder)))
      EXPECT_NE(entry.path().filename().string().rfind("FLLaunchProperties-", 0), 0u) << run;
  }
}

}  // namespace
}  // namespace ferrolan::launch
