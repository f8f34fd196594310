// The JNI launch against the stand-in JVM library (testprograms/fake_jvm.cpp), which records every
// call it receives. The real virtual machine is exercised in launch_real_jvm_test.cpp.
#include "launch/jni_launch.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fs/path.h"
#include "jre/jre_layout.h"
#include "launch/java_command.h"
#include "launch/jni_updater.h"
#include "testing/files.h"
#include "testing/temp_folder.h"

namespace ferrolan::launch {
namespace {

namespace stdfs = std::filesystem;
using LaunchTest = testing::LoggedTempFolderTest;
using testing::ReadFile;

class JniLaunchTest : public LaunchTest {
 protected:
  // A JRE folder with the stand-in library in the place `candidate` (0 to 3) of the search.
  std::string MakeJre(std::size_t candidate) {
    std::string jre = Path("jre");
    std::string library = jre::JvmLibraryCandidates(jre)[candidate];
    stdfs::create_directories(stdfs::path(library).parent_path());
    stdfs::create_directories(Path("jre/bin"));
    stdfs::copy_file(FERROLAN_FAKE_JVM, library, stdfs::copy_options::overwrite_existing);
    return jre;
  }
  // The stand-in keeps its record open (Windows will not remove it then), so a second launch in
  // one test records into a file of its own.
  std::string RecordOption(const std::string& name = "calls.txt") {
    return "-Dferrolan.fakejvm.record=" + Path(name);
  }
  std::vector<std::string> Calls(const std::string& name = "calls.txt") {
    std::vector<std::string> lines;
    std::string text = ReadFile(Path(name));
    std::size_t at = 0;
    while (at < text.size()) {
      std::size_t end = text.find('\n', at);
      lines.push_back(text.substr(at, end - at));
      at = end + 1;
    }
    return lines;
  }
};

TEST_F(JniLaunchTest, OlderLayoutLoadsOnTheThirdAttemptAndRunsMainWithTheArguments) {
  std::string jre = MakeJre(2);
  std::vector<std::string> classpath = {Path("a.jar"), Path("b.jar")};
  std::string sep(1, ClasspathSeparator());
  int result = JniLaunch("a.b.Main", jre, {"-Xmx64m", RecordOption()}, classpath, {"p", "x y"});
  EXPECT_EQ(result, 0);

  std::vector<std::string> expected = {
      "JNI_CreateJavaVM version=65540 options=3 ignoreUnrecognized=1",
      "option 0 -Djava.class.path=" + classpath[0] + sep + classpath[1],
      "option 1 -Xmx64m",
      "option 2 " + RecordOption(),
      "FindClass a/b/Main",
      "GetStaticMethodID a/b/Main main ([Ljava/lang/String;)V",
      "FindClass java/lang/String",
      "NewObjectArray 2 java/lang/String null",
      "NewStringUTF p",
      "SetObjectArrayElement 0 p",
      "NewStringUTF x y",
      "SetObjectArrayElement 1 x y",
      "CallStaticVoidMethod a/b/Main",
      "ExceptionOccurred no",
      "DestroyJavaVM",
  };
  EXPECT_EQ(Calls(), expected);
  std::string console = Console();
  auto candidates = jre::JvmLibraryCandidates(jre);
  EXPECT_NE(console.find("[JNILaunch] Trying to load " + candidates[0] + " [exists=0]"),
            std::string::npos);
  EXPECT_NE(console.find("[JNILaunch] Failed. Now trying to load library " + candidates[1] +
                         " [exists=0]"),
            std::string::npos);
  EXPECT_NE(console.find("[JNILauncher] Loaded Windows DLL - " + candidates[2]), std::string::npos);
  EXPECT_EQ(console.find(candidates[3]), std::string::npos);
  EXPECT_NE(console.find("[JNILauncher] Done!\n"), std::string::npos);
}

TEST_F(JniLaunchTest, NoClasspathAndNoArgumentsGiveOptionsFromZeroAndAnEmptyArray) {
  std::string jre = MakeJre(0);
  EXPECT_EQ(JniLaunch("Main", jre, {RecordOption()}, {}, {}), 0);
  std::vector<std::string> calls = Calls();
  ASSERT_GE(calls.size(), 5u);
  EXPECT_EQ(calls[0], "JNI_CreateJavaVM version=65540 options=1 ignoreUnrecognized=1");
  EXPECT_EQ(calls[1], "option 0 " + RecordOption());
  EXPECT_NE(std::find(calls.begin(), calls.end(), "NewObjectArray 0 java/lang/String null"),
            calls.end());
}

TEST_F(JniLaunchTest, MissingClassOrMainMethodFailsWithoutCallingJava) {
  std::string jre = MakeJre(0);
  EXPECT_EQ(JniLaunch("x.MissingMain", jre, {RecordOption()}, {}, {}), 1);
  EXPECT_TRUE(ConsoleHas("[JNILauncher] Searching for clazz failed!\n"));
  std::vector<std::string> calls = Calls();
  EXPECT_EQ(calls.back(), "FindClass x/MissingMain");  // nothing after, no DestroyJavaVM

  EXPECT_EQ(JniLaunch("x.NoMain", jre, {RecordOption("calls2.txt")}, {}, {}), 1);
  calls = Calls("calls2.txt");
  EXPECT_EQ(calls.back(), "ExceptionDescribe");  // why main is missing is shown, not called
  EXPECT_EQ(std::find(calls.begin(), calls.end(), "CallStaticVoidMethod x/NoMain"), calls.end());
}

// A main method that throws has run and failed: described on standard error, its text kept
// for the user, and no second start as a child process (the caller sees kJniMainThrew).
TEST_F(JniLaunchTest, ExceptionFromMainIsDescribedAndReportedAsAFailedRun) {
  std::string jre = MakeJre(0);
  std::string thrown;
  EXPECT_EQ(JniLaunch("x.Throws", jre, {RecordOption()}, {}, {}, &thrown), kJniMainThrew);
  EXPECT_EQ(thrown, "java/lang/Throwable: thrown by the stand-in main");
  std::vector<std::string> calls = Calls();
  ASSERT_GE(calls.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(calls.end() - 5, calls.end()),
            (std::vector<std::string>{
                "CallStaticVoidMethod x/Throws", "ExceptionOccurred yes", "ExceptionDescribe",
                "CallObjectMethod java/lang/Throwable.toString", "DestroyJavaVM"}));
  EXPECT_TRUE(
      ConsoleHas("[JNILauncher] The main method ended with an exception: "
                 "java/lang/Throwable: thrown by the stand-in main\n"));
}

// The updater is loaded by a class loader of its own, the virtual machine's class path names no
// file, and what the updater hands over runs after its main: its class path appended to the
// system class loader, its main class loaded as "java" loads it, its main called, and the
// updater told how it ended. An application that throws ends the run as under "java": the
// thread leaves the machine with the exception pending, for its uncaught-exception handler.
TEST_F(JniLaunchTest, TheUpdatersOwnLoaderAndHandOver) {
  std::string jre = MakeJre(0);
  const std::vector<std::string> classpath = {Path("updater/ferrolan-updater.jar")};
  const std::vector<std::string> options = {RecordOption(), "-Dferrolan.fakejvm.handover=a.App"};
  EXPECT_EQ(JniLaunch(kUpdaterMainClass, jre, options, classpath, {"props"}), 0);
  std::vector<std::string> calls = Calls();
  ASSERT_GE(calls.size(), 2u);
  std::string emptyEntry = Path("updater");
  fs::PathJoin(emptyEntry, kNoClassesEntry);
  EXPECT_EQ(calls[1], "option 0 -Djava.class.path=" + emptyEntry);
  const auto position = [&calls](const std::string& call) {
    return std::find(calls.begin(), calls.end(), call) - calls.begin();
  };
  const std::vector<std::string> inOrder = {
      "NewObject jdk/internal/loader/BuiltinClassLoader",
      "CallObjectMethod loadClass com.ferrolan.updater.Updater",
      "CallStaticVoidMethod com/ferrolan/updater/Updater",
      "CallStaticObjectMethod com/ferrolan/updater/Updater.handOver",
      "CallVoidMethod appendToClassPathForInstrumentation app.jar",
      "CallStaticObjectMethod sun/launcher/LauncherHelper.checkAndLoadMain",
      "SetObjectArrayElement 0 handed",
      "CallStaticVoidMethod a/App",
      "GetStaticMethodID com/ferrolan/updater/Updater mainEnded (Ljava/lang/Throwable;)V",
      "DestroyJavaVM"};
  for (std::size_t i = 0; i < inOrder.size(); ++i) {
    EXPECT_LT(position(inOrder[i]), static_cast<long>(calls.size())) << inOrder[i];
    if (i > 0) {
      EXPECT_LT(position(inOrder[i - 1]), position(inOrder[i])) << inOrder[i];
    }
  }
  EXPECT_EQ(position("FindClass com/ferrolan/updater/Updater"), static_cast<long>(calls.size()));

  const std::vector<std::string> throwing = {RecordOption("calls2.txt"),
                                             "-Dferrolan.fakejvm.handover=a.Throws"};
  EXPECT_EQ(JniLaunch(kUpdaterMainClass, jre, throwing, classpath, {}), kJniApplicationThrew);
  calls = Calls("calls2.txt");
  ASSERT_GE(calls.size(), 3u);
  EXPECT_LT(position("CallStaticVoidMethod a/Throws"),
            position("GetStaticMethodID com/ferrolan/updater/Updater mainEnded "
                     "(Ljava/lang/Throwable;)V"));
  EXPECT_EQ(std::vector<std::string>(calls.end() - 3, calls.end()),
            (std::vector<std::string>{"Throw", "DetachCurrentThread with a pending exception",
                                      "DestroyJavaVM"}));
}

TEST_F(JniLaunchTest, NoLibraryOrFailedCreationReturnsOne) {
  stdfs::create_directories(Path("empty-jre/bin"));
  EXPECT_EQ(JniLaunch("Main", Path("empty-jre"), {}, {}, {}), 1);
  EXPECT_TRUE(
      ConsoleHas("[JNILauncher] Failed to load DLL. Will fall back to spawning."
                 "+"));  // no line end of its own: the next message's prefix follows
  EXPECT_TRUE(ConsoleHas("[JNILaunch] [ERROR] Unable to load JRE library!\n"));

  std::string jre = MakeJre(1);
  EXPECT_EQ(JniLaunch("Main", jre, {RecordOption(), "-Dferrolan.fakejvm.fail=create"}, {}, {}), 1);
  EXPECT_TRUE(ConsoleHas("[JNILauncher] Create Java VM Failed!\n"));
  EXPECT_EQ(Calls().back(), "option 1 -Dferrolan.fakejvm.fail=create");
}

TEST_F(JniLaunchTest, ParametersBeyondTheLimitsAreRefusedBeforeLoading) {
  std::string jre = MakeJre(0);
  std::vector<std::string> many(kMaxJniJvmOptions, "-Dx=1");
  many.front() = RecordOption();
  many.push_back("-Dy=1");  // 100 options: one too many
  EXPECT_EQ(JniLaunch("Main", jre, many, {}, {}), 1);
  EXPECT_EQ(JniLaunch(std::string(kMaxJniClassNameLength + 1, 'a'), jre, {RecordOption()}, {}, {}),
            1);
  std::string option = "-Djava.class.path=";
  std::vector<std::string> longClasspath = {
      std::string(kMaxJniClasspathOptionLength - option.size() + 1, 'c')};
  EXPECT_EQ(JniLaunch("Main", jre, {RecordOption()}, longClasspath, {}), 1);
  EXPECT_FALSE(stdfs::exists(Path("calls.txt")));
  EXPECT_FALSE(ConsoleHas("Bin folder"));

  // Exactly at the limits it runs.
  many.pop_back();
  longClasspath[0].pop_back();
  EXPECT_EQ(JniLaunch(std::string(kMaxJniClassNameLength, 'a'), jre, many, longClasspath, {}), 0);
  EXPECT_EQ(Calls().front(), "JNI_CreateJavaVM version=65540 options=100 ignoreUnrecognized=1");
}

TEST(JniNamesTest, DottedClassNameBecomesSlashed) {
  EXPECT_EQ(SlashedClassName("a.b.Main"), "a/b/Main");
  EXPECT_EQ(SlashedClassName("Main"), "Main");
}

}  // namespace
}  // namespace ferrolan::launch
