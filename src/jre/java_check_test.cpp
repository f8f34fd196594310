#include "jre/java_check.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "fs/path.h"
#include "jre/jre_layout.h"
#include "jre/jre_test_support.h"
#include "os/os.h"
#include "testing/temp_folder.h"

namespace ferrolan::jre {
namespace {

namespace stdfs = std::filesystem;
using testing::FakeJre;
using testing::kJava11;
using testing::kJava17;
using testing::kJava1_8;
using testing::kJava8;

TEST(ReleaseFileTest, ReadsJavaVersionLine) {
  EXPECT_EQ(ReleaseJavaVersion("IMPLEMENTOR=\"X\"\nJAVA_VERSION=\"17.0.15\"\nOS_NAME=\"Linux\"\n"),
            "17.0.15");
  EXPECT_EQ(ReleaseJavaVersion("JAVA_VERSION=\"1.8.0_392\"\r\nX=1\r\n"), "1.8.0_392");
  EXPECT_EQ(ReleaseJavaVersion("JAVA_VERSION=21"), "21");  // no quotes, no final line break
  EXPECT_EQ(ReleaseJavaVersion("JAVA_VERSION=\"\"\n"), "");
  // Only the exact key at the start of a line counts.
  EXPECT_EQ(ReleaseJavaVersion("JAVA_RUNTIME_VERSION=\"17\"\nXJAVA_VERSION=\"9\"\n"), std::nullopt);
  EXPECT_EQ(ReleaseJavaVersion(""), std::nullopt);
}

TEST(ReleaseFileTest, VersionTextBecomesAProductVersion) {
  FixedVersion v17 = FixedVersionFromText("17.0.15");
  EXPECT_EQ(v17.signature, kFixedVersionSignature);
  EXPECT_EQ(v17.productVersionMS, 17u << 16);
  EXPECT_EQ(v17.productVersionLS, 15u << 16);
  FixedVersion v8 = FixedVersionFromText("1.8.0_392");
  EXPECT_EQ(v8.productVersionMS, (1u << 16) | 8u);
  EXPECT_EQ(v8.productVersionLS, 392u);
  EXPECT_EQ(FixedVersionFromText("21").productVersionMS, 21u << 16);
  EXPECT_EQ(FixedVersionFromText("99999.1").productVersionMS, (0xFFFFu << 16) | 1u);
  EXPECT_NE(FixedVersionFromText("ea-17").signature, kFixedVersionSignature);
  EXPECT_NE(FixedVersionFromText("").signature, kFixedVersionSignature);
}

class JavaCheckTest : public ferrolan::testing::LoggedTempFolderTest {
 protected:
  std::string Java(const std::string& version) {
    std::string folder = Path("jre-" + (version.empty() ? std::string("none") : version));
    testing::MakeFakeJre(folder, FakeJre{version});
    return JavaExecutablePath(folder);
  }
};

TEST_F(JavaCheckTest, ComparesTheReleaseNumberWithTheRequirement) {
  std::string java17 = Java(kJava17);
  EXPECT_EQ(JavaCheck(java17, "11"), 1);
  EXPECT_EQ(JavaCheck(java17, "17"), 1);
  EXPECT_EQ(JavaCheck(java17, "18"), 0);
  EXPECT_TRUE(Logged("[Extractor] Checking JRE version requirements: 17 vs required 18"));
  EXPECT_TRUE(Logged("[JavaCheck] Checking file version of " + java17));
  EXPECT_TRUE(Logged("[JavaCheck] Size OK"));
  EXPECT_TRUE(Logged("[JavaCheck] file version MS is " + std::to_string(17L << 16)));
  EXPECT_TRUE(Logged("[JavaCheck] file version LS is " + std::to_string(15L << 16)));
  // The requirement is read the way atoi reads; an overlong number is simply very high.
  EXPECT_EQ(JavaCheck(java17, " 8abc"), 1);
  EXPECT_EQ(JavaCheck(java17, "99999999999999999999999"), 0);
}

TEST_F(JavaCheckTest, ReleaseNumberIsTheFirstPartOfTheProductVersion) {
  // A runtime that calls itself 1.8.0 is release 1; one that calls itself 8.0 is release 8.
  EXPECT_EQ(JavaCheck(Java(kJava1_8), "8"), 0);
  EXPECT_EQ(JavaCheck(Java(kJava8), "8"), 1);
  // The stand-ins' file version is 99; only the product version counts.
  EXPECT_EQ(JavaCheck(Java(kJava11), "17"), 0);
}

TEST_F(JavaCheckTest, MissingOrUnreadableVersionCountsAsZero) {
  std::string unversioned = Java("");
  EXPECT_EQ(JavaCheck(unversioned, "1"), 0);
  EXPECT_TRUE(Logged("[JavaCheck] verSize is zero"));
  EXPECT_TRUE(Logged("[Extractor] Checking JRE version requirements: 0 vs required 1"));
  // An empty requirement is 0 and accepts anything, even a missing executable.
  EXPECT_EQ(JavaCheck(unversioned, ""), 1);
  EXPECT_EQ(JavaCheck(Path("nowhere/bin/java"), "0"), 1);
}

class JreLayoutTest : public ferrolan::testing::LoggedTempFolderTest {
 protected:
  void TearDown() override {
    os::SetEnv("PROGRAMFILES", saved_);
    ferrolan::testing::LoggedTempFolderTest::TearDown();
  }
  std::optional<std::string> saved_ = os::GetEnv("PROGRAMFILES");
};

// The names each system's JREs use, written out rather than taken from the code under test.
struct SystemNames {
  const char* java;       // the console launcher
  const char* launcher;   // the launcher a launch uses
  const char* preferred;  // a launcher preferred when present, or none
  const char* unpack200;
  const char* jvm;               // the JVM library
  const char* jvmFolder;         // its folder beside "bin"
  const char* suffix;            // of programs
  std::vector<const char*> all;  // what a sound JRE holds in bin
};

const SystemNames& Names() {
  static const SystemNames windows{
      "java.exe", "javaw.exe", "windowslauncher.exe",    "unpack200.exe", "jvm.dll",
      "bin",      ".exe",      {"java.exe", "javaw.exe"}};
  static const SystemNames posix{"java",      "java", nullptr, "unpack200",
                                 "libjvm.so", "lib",  "",      {"java"}};
  return fs::PathSeparator() == '\\' ? windows : posix;
}

// Joins with the system's separator, as the installed paths are written.
std::string Joined(std::initializer_list<std::string> parts) {
  std::string path;
  for (const std::string& part : parts)
    path += (path.empty() ? "" : std::string(1, fs::PathSeparator())) + part;
  return path;
}

TEST_F(JreLayoutTest, LocatorsNameTheFilesInBin) {
  std::string jre = Path("jre");
  EXPECT_EQ(LocateJavaLauncher(jre),
            Joined({jre, "bin", Names().launcher}));  // not tested for existence

  if (const char* preferred = Names().preferred) {
    testing::WriteFile(Path(std::string("jre/bin/") + preferred), "x");
    EXPECT_EQ(LocateJavaLauncher(jre), Joined({jre, "bin", preferred}));
  }

  ::testing::internal::CaptureStdout();
  std::string unpacker = LocateUnpack200(jre);
  std::string printed = ::testing::internal::GetCapturedStdout();
  const std::string bin = Joined({jre, "bin"});
  const std::string expected = Joined({jre, "bin", Names().unpack200});
  EXPECT_EQ(unpacker, expected);
  EXPECT_EQ(printed, "[Locating UP200] " + jre + "\n[Locating UP200] " + bin +
                         "\n[Locating UP200] Result is " + expected + "\n");
  EXPECT_EQ(CountStartingWith("[Locating UP200]"), 0);  // nothing of it reaches the log
}

TEST_F(JreLayoutTest, LauncherNamesLaunchCopyAndJvmCandidatesFollowThePlatform) {
  const std::vector<const char*>& launchers = JreLauncherNames();
  ASSERT_EQ(launchers.size(), Names().all.size());
  for (std::size_t i = 0; i < launchers.size(); ++i) EXPECT_STREQ(launchers[i], Names().all[i]);
  EXPECT_EQ(LaunchExecutableName("Demo"), std::string("Demo") + Names().suffix);

  // The two current places come before the two of the older layout, each with server first.
  std::array<std::string, 4> candidates = JvmLibraryCandidates("J");
  const std::string folder = Names().jvmFolder, jvm = Names().jvm;
  EXPECT_EQ(candidates[0], Joined({"J", folder, "server", jvm}));
  EXPECT_EQ(candidates[1], Joined({"J", folder, "client", jvm}));
  EXPECT_EQ(candidates[2], Joined({"J", "jre", folder, "client", jvm}));
  EXPECT_EQ(candidates[3], Joined({"J", "jre", folder, "server", jvm}));
}

TEST_F(JreLayoutTest, CandidateRootFollowsProgramFilesAndTheAutoTestFlag) {
  os::SetEnv("PROGRAMFILES", Path("pf"));
  EXPECT_EQ(SystemJreRoot(false), Path("pf/Java"));
  EXPECT_EQ(SystemJreRoot(true), Path("pf/Java_FLAutoTest"));
  os::SetEnv("PROGRAMFILES", std::nullopt);
  // Windows has no default place; POSIX systems keep their runtimes in /usr/lib/jvm.
  EXPECT_EQ(SystemJreRoot(false), fs::PathSeparator() == '\\'
                                      ? std::nullopt
                                      : std::optional<std::string>("/usr/lib/jvm"));
  EXPECT_EQ(SystemJreRoot(true), std::nullopt);
}

}  // namespace
}  // namespace ferrolan::jre
