#include "launch/launch_sequence.h"

#include <gtest/gtest.h>

#include "fs/path.h"
#include "jre/jre_layout.h"
#include "tail/params.h"
#include "testing/files.h"
#include "testing/tail_builder.h"
#include "testing/temp_folder.h"

namespace ferrolan::launch {
namespace {

namespace stdfs = std::filesystem;
using testing::Fields;
using testing::LaunchFileContents;
using LaunchTest = testing::LoggedTempFolderTest;
// The launch files are read and written whole.
constexpr auto ReadBytes = &testing::ReadFile;
constexpr auto WriteBytes = &testing::WriteFile;

constexpr const char* kAppFolder = "Ferrolan-Ferrolan-00000000005-complete";
constexpr const char* kJreFolder = "Ferrolan-jre17-00000000001-complete";

// Reads back what argv_echo wrote: one "<length>:<bytes>\n" record per argument.
std::vector<std::string> ReadEcho(const std::string& path) {
  std::string text = ReadBytes(path);
  std::vector<std::string> arguments;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t colon = text.find(':', at);
    if (colon == std::string::npos) break;
    std::size_t length = std::stoul(text.substr(at, colon - at));
    arguments.push_back(text.substr(colon + 1, length));
    at = colon + 1 + length + 1;
  }
  return arguments;
}

class LaunchSequenceTest : public LaunchTest {
 protected:
  std::string Master() { return Path("master"); }
  std::string AppFolder() { return Path(std::string("master/") + kAppFolder); }
  std::string JreFolder() { return Path(std::string("master/") + kJreFolder); }
  std::string Bin() { return Path(std::string("master/") + kJreFolder + "/bin"); }

  // An installed updater with `contents` as its launch file and a private JRE whose launcher is a
  // copy of `launcher` (argv_echo by default).
  void Install(const LaunchFileContents& contents,
               const std::string& launcher = FERROLAN_ARGV_ECHO) {
    WriteBytes(AppFolder() + "/" + kLaunchFileName, contents.Bytes());
    stdfs::create_directories(Bin());
    stdfs::copy_file(launcher, jre::LocateJavaLauncher(JreFolder()),
                     stdfs::copy_options::overwrite_existing);
  }
  void WriteLso(const std::vector<std::string>& fields) {
    WriteBytes(LsoFilePath(Master(), kJreFolder), Fields(fields));
  }
  LaunchRequest Request(LaunchClass launchClass = LaunchClass::kApplication) {
    LaunchRequest request;
    request.masterFolder = Master();
    tail::AddStaticProperty(request.properties, "app_name", "DemoApp");
    request.arguments = {"c1", "c2"};
    request.appFolderName = kAppFolder;
    request.updateUrl = "http://u/";
    request.jreName = "jre17";
    request.launchClass = launchClass;
    request.launcherPath = "L";
    return request;
  }
  std::string Executable(const std::string& appName = "DemoApp") {
    std::string path = Bin();
    fs::PathJoin(path, jre::LaunchExecutableName(appName));
    return path;
  }
};

// The plan of a launch that is expected to be ready.
LaunchPlan PlanOf(const LaunchRequest& request) {
  PreparedLaunch prepared = PrepareLaunch(request);
  EXPECT_EQ(prepared.status, LaunchStatus::kRan);
  return prepared.plan;
}

TEST_F(LaunchSequenceTest, ComposesOptionsClasspathAndArgumentsFromALaunchFile) {
  LaunchFileContents contents;
  contents.jvmMem = 512;
  contents.jvmStack = 64;
  contents.classpath = {"lib/app.jar", "b.jar"};
  contents.extraArguments = {"e1"};
  contents.appJvmOptions = {"-Da=1", "-Db=2"};
  Install(contents);
  LaunchPlan plan = PlanOf(Request());

  EXPECT_EQ(plan.jvmOptions, (std::vector<std::string>{"-Xmx512m", "-Xms64m", "-Da=1", "-Db=2"}));
  std::string appJar = AppFolder();
  fs::PathJoin(appJar, "lib\\app.jar");
  EXPECT_EQ(plan.classpath,
            (std::vector<std::string>{appJar, AppFolder() + fs::PathSeparator() + "b.jar"}));
  EXPECT_EQ(plan.mainClass, "com.example.Main");
  // The launch-properties file comes first, before the extra and the launcher's arguments.
  EXPECT_EQ(plan.appArguments, (std::vector<std::string>{plan.propertiesPath, "e1", "c1", "c2"}));
  EXPECT_EQ(plan.propertiesPath.rfind(AppFolder() + fs::PathSeparator() + "FLLaunchProperties-", 0),
            0u);
  EXPECT_NE(ReadBytes(plan.propertiesPath).find(std::string("flstat_app_dir\0", 15) + AppFolder()),
            std::string::npos);
  EXPECT_EQ(plan.jreFolder, JreFolder());

  // The JRE's launcher now also runs under the application's name.
  EXPECT_EQ(plan.executable, Executable());
  EXPECT_EQ(ReadBytes(plan.executable), ReadBytes(FERROLAN_ARGV_ECHO));
  if (jre::LaunchExecutableName("x") == "x") {
    auto perms = stdfs::status(plan.executable).permissions();
    EXPECT_NE(perms & stdfs::perms::owner_exec, stdfs::perms::none);
  }
  std::string console = Console();
  EXPECT_NE(console.find("[Extractor] jvmArgCount:2 emptyArgs:2 so addToJVM:1\n"),
            std::string::npos);
  EXPECT_NE(console.find("[Extractor] Added option -Db=2\n"), std::string::npos);
  EXPECT_NE(console.find("[Extractor] [Launch] App Argument 3: c2\n"), std::string::npos);
  EXPECT_NE(console.find("[Extractor] Copying FILE " + Executable()), std::string::npos);
}

TEST_F(LaunchSequenceTest, LsoOptionsReplaceTheApplicationsJvmOptions) {
  LaunchFileContents contents;
  contents.jvmMem = 256;
  contents.appJvmOptions = {"-Da=1", "-Db=2"};
  Install(contents);
  WriteLso({"3", "-Dl1", "-Dl2", "-Dl3"});
  LaunchPlan plan = PlanOf(Request());
  EXPECT_EQ(plan.jvmOptions, (std::vector<std::string>{"-Xmx256m", "-Dl1", "-Dl2", "-Dl3"}));
  EXPECT_TRUE(ConsoleHas("[Extractor] jvmArgCount:4 emptyArgs:1 so addToJVM:0\n"));
  EXPECT_TRUE(ConsoleHas("[Extractor] Skipping option -Da=1\n"));
  EXPECT_TRUE(ConsoleHas("[Extractor] Skipping option -Db=2\n"));

  // An LSO file with no entries leaves the application's options in force.
  WriteLso({"0"});
  plan = PlanOf(Request());
  EXPECT_EQ(plan.jvmOptions, (std::vector<std::string>{"-Xmx256m", "-Da=1", "-Db=2"}));
}

TEST_F(LaunchSequenceTest, OlderLaunchFileVersionsStopAfterTheirFields) {
  LaunchFileContents contents;
  contents.version = 2;
  contents.extraArguments = {"e1"};
  contents.appJvmOptions = {"-Da=1"};  // not written for version 2
  Install(contents);
  // Whatever follows the extra arguments in a version 2 file is not read.
  std::string path = AppFolder() + "/" + kLaunchFileName;
  WriteBytes(path, contents.Bytes() + Fields({"com.example.Stray", "1", "-Dstray"}));
  LaunchPlan plan = PlanOf(Request());
  EXPECT_TRUE(plan.jvmOptions.empty());
  EXPECT_EQ(plan.appArguments.size(), 4u);
  EXPECT_FALSE(ConsoleHas("Read JRE compatibility class"));
  EXPECT_FALSE(ConsoleHas("addToJVM"));

  std::FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  LaunchFile read = ReadLaunchFile(file);
  std::fclose(file);
  EXPECT_EQ(read.version, 2);
  EXPECT_EQ(read.compatibilityClass, "");
  EXPECT_EQ(read.extraArguments, std::vector<std::string>{"e1"});
}

TEST_F(LaunchSequenceTest, CompatibilityTestRunsTheCandidateWithoutAnLso) {
  LaunchFileContents contents;
  contents.version = 3;
  contents.compatibilityClass = Path("echo.out");  // argv_echo's first argument: where it writes
  contents.extraArguments = {"e1"};
  Install(contents);
  LaunchRequest request = Request(LaunchClass::kJreCompatibility);
  request.jreName = FERROLAN_ARGV_ECHO;
  LaunchPlan plan = PlanOf(request);
  EXPECT_EQ(plan.executable, FERROLAN_ARGV_ECHO);
  EXPECT_TRUE(ConsoleHas("Not a private JRE (no need to check for LSO file)\n"));
  EXPECT_TRUE(ConsoleHas("[Extractor] Checking for existing system JRE "));
  EXPECT_FALSE(stdfs::exists(Executable()));

  // argv_echo exits with atoi(second argument): the properties path, which reads as 0.
  EXPECT_EQ(RunLaunch(plan, false).testExitCode, 0);
  EXPECT_EQ(ReadEcho(Path("echo.out")), (std::vector<std::string>{"e1", "c1", "c2"}));
}

TEST_F(LaunchSequenceTest, CompatibilityTestThatCannotRunFails) {
  LaunchFileContents contents;
  contents.version = 3;
  Install(contents);
  LaunchRequest request = Request(LaunchClass::kJreCompatibility);
  request.jreName = Path("no-such-java");
  EXPECT_EQ(RunLaunch(PlanOf(request), false).testExitCode, -1);
  EXPECT_TRUE(ConsoleHas("[ERROR] Attempt to launch app failed with return code -1!"));

  // A launch file before version 3 names no class to test with.
  contents.version = 2;
  Install(contents);
  request.jreName = FERROLAN_ARGV_ECHO;
  EXPECT_EQ(RunLaunch(PlanOf(request), false).testExitCode, -1);
}

TEST_F(LaunchSequenceTest, MissingLaunchFileOrJreFailsTheLaunch) {
  EXPECT_EQ(PrepareLaunch(Request()).status, LaunchStatus::kLaunchFileUnreadable);
  EXPECT_TRUE(ConsoleHas("Unable to open launch file "));
  WriteBytes(AppFolder() + "/" + kLaunchFileName, LaunchFileContents().Bytes());
  EXPECT_EQ(PrepareLaunch(Request()).status, LaunchStatus::kNoPrivateJre);
  EXPECT_TRUE(ConsoleHas("No private JRE available!"));
  EXPECT_EQ(LaunchFromMasterFolder(Request()).status, LaunchStatus::kNoPrivateJre);

  // A classpath entry whose full path is just over the limit is refused, not cut short.
  LaunchFileContents contents;
  const std::size_t prefix = AppFolder().size() + 1;
  contents.classpath = {std::string(kMaxClasspathEntry - prefix, 'a')};
  Install(contents);
  EXPECT_EQ(PrepareLaunch(Request()).status, LaunchStatus::kRan);
  contents.classpath.push_back(std::string(kMaxClasspathEntry - prefix + 1, 'b'));
  Install(contents);
  EXPECT_EQ(PrepareLaunch(Request()).status, LaunchStatus::kClasspathTooLong);
  EXPECT_TRUE(ConsoleHas("[Extractor] Classpath entry longer than 999 characters: "));
}

TEST_F(LaunchSequenceTest, JniLaunchRunsInProcessWithTheComposedParameters) {
  LaunchFileContents contents;
  contents.jvmMem = 128;
  contents.classpath = {"app.jar"};
  contents.appJvmOptions = {"-Dferrolan.fakejvm.record=" + Path("calls.txt")};
  Install(contents);
  std::string library = jre::JvmLibraryCandidates(JreFolder())[0];
  stdfs::create_directories(stdfs::path(library).parent_path());
  stdfs::copy_file(FERROLAN_FAKE_JVM, library, stdfs::copy_options::overwrite_existing);

  LaunchOutcome result = LaunchFromMasterFolder(Request());
  EXPECT_EQ(result.status, LaunchStatus::kRan);
  EXPECT_FALSE(result.spawned);
  std::string calls = ReadBytes(Path("calls.txt"));
  std::string appJar = AppFolder() + fs::PathSeparator() + "app.jar";
  EXPECT_NE(calls.find("option 0 -Djava.class.path=" + appJar + "\noption 1 -Xmx128m\n"),
            std::string::npos);
  EXPECT_NE(calls.find("NewStringUTF c2\nSetObjectArrayElement 2 c2\nCallStaticVoidMethod "
                       "com/example/Main\n"),
            std::string::npos);
  EXPECT_TRUE(ConsoleHas("[Extractor] Force spawn is 0 so attempting to launch via JNI\n"));
  EXPECT_TRUE(ConsoleHas("[Extractor] Return code for JNI launch was 0\n"));
}

TEST_F(LaunchSequenceTest, ForceSpawnStartsTheLaunchExecutable) {
  LaunchFileContents contents;
  contents.mainClass = Path("spawned.out");  // argv_echo writes where its first argument says
  contents.extraArguments = {"e1"};
  Install(contents);
  LaunchOutcome outcome = RunLaunch(PlanOf(Request()), true);
  EXPECT_EQ(outcome.status, LaunchStatus::kRan);
  EXPECT_TRUE(outcome.spawned);
  ASSERT_TRUE(testing::WaitForFile(Path("spawned.out"), 60));
  EXPECT_EQ(ReadEcho(Path("spawned.out")), (std::vector<std::string>{"e1", "c1", "c2"}));
}

TEST_F(LaunchSequenceTest, JreWithoutJvmLibraryFallsBackToSpawning) {
  LaunchFileContents contents;
  contents.mainClass = Path("fallback.out");
  Install(contents);
  LaunchOutcome outcome = RunLaunch(PlanOf(Request()), false);
  EXPECT_EQ(outcome.status, LaunchStatus::kRan);
  EXPECT_TRUE(outcome.spawned);
  EXPECT_TRUE(ConsoleHas("[Extractor] JNI launch failed. Attempting legacy spawn instead\n"));
  ASSERT_TRUE(testing::WaitForFile(Path("fallback.out"), 60));
  EXPECT_EQ(ReadEcho(Path("fallback.out")), (std::vector<std::string>{"c1", "c2"}));
}

// A spawned Java process that ends at once with an error did not start the application: the
// launch reports it, where the launcher would otherwise end with 0.
TEST_F(LaunchSequenceTest, SpawnedProcessThatFailsAtOnceIsAFailedStart) {
  LaunchFileContents contents;
  // argv_echo's first two arguments are its output file and its exit code.
  contents.appJvmOptions = {Path("failed.out"), "5"};
  Install(contents);
  LaunchOutcome outcome = RunLaunch(PlanOf(Request()), true);
  EXPECT_EQ(outcome.status, LaunchStatus::kJavaFailed);
  EXPECT_EQ(outcome.failure, "Its Java process ended at once with exit code 5.");
  EXPECT_TRUE(ConsoleHas("[ERROR] Attempt to launch app failed with return code 5!"));
}

TEST_F(LaunchSequenceTest, SpawnThatCannotStartFails) {
  LaunchFileContents contents;
  Install(contents);
  // The copy is taken from the launcher only when the executable is missing; an empty file
  // under the application's name cannot be started.
  WriteBytes(Executable(), "");
  LaunchOutcome outcome = RunLaunch(PlanOf(Request()), true);
  EXPECT_EQ(outcome.status, LaunchStatus::kSpawnFailed);
  EXPECT_TRUE(ConsoleHas("[ERROR] Attempt to launch app failed with return code"));
}

}  // namespace
}  // namespace ferrolan::launch
