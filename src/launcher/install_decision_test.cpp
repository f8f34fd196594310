#include "launcher/install_decision.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "jre/jre_layout.h"
#include "log/log.h"
#include "testing/temp_folder.h"

namespace ferrolan::launcher {
namespace {

namespace stdfs = std::filesystem;

// A master folder of its own per test, with helpers to install components into it.
class InstallDecisionTest : public ferrolan::testing::LoggedTempFolderTest {
 protected:
  static void Touch(const stdfs::path& file) {
    stdfs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << "x";
  }
  stdfs::path Component(const std::string& name, const std::string& version) {
    stdfs::path folder = master_ / ("Ferrolan-" + name + "-" + version + "-complete");
    stdfs::create_directories(folder);
    return folder;
  }
  // A JRE with both launchers and, by default, the runtime image of a modern Java.
  stdfs::path Jre(const std::string& version, const char* library = "lib/modules") {
    stdfs::path folder = Component("jre17", version);
    for (const char* launcher : jre::JreLauncherNames()) Touch(folder / "bin" / launcher);
    if (library != nullptr) Touch(folder / library);
    return folder;
  }
  InstallState State(std::string gu, std::string app) {
    return InstallState{master_.string(), "Demo", "jre17", std::move(gu), std::move(app)};
  }
  std::string Log() { return Console(); }

  const stdfs::path& master_ = root_;
};

TEST_F(InstallDecisionTest, NothingInstalledExtracts) {
  InstallDecision d = DecideInstall(State("00000000002", "00000000005"));
  EXPECT_EQ(d.action, InstallAction::Extract);
  EXPECT_FALSE(d.latestUpdaterFolder);
  EXPECT_NE(Log().find("No latest GU or JRE version exists"), std::string::npos);
  // A bare launcher with nothing installed goes to extraction too.
  EXPECT_EQ(DecideInstall(State("", "")).action, InstallAction::Extract);
}

TEST_F(InstallDecisionTest, EqualVersionsRunAsInstalled) {
  Component("Ferrolan", "00000000002");
  Component("Demo", "00000000005");
  Jre("00000000001");
  InstallDecision d = DecideInstall(State("00000000002", "00000000005"));
  EXPECT_EQ(d.action, InstallAction::RunInstalled);
  EXPECT_EQ(d.latestUpdaterFolder, "Ferrolan-Ferrolan-00000000002-complete");
  EXPECT_EQ(d.latestJreFolder, "Ferrolan-jre17-00000000001-complete");
  EXPECT_NE(Log().find("Latest App version is newer or same as our version so will just run"),
            std::string::npos);
}

TEST_F(InstallDecisionTest, VersionTableRows) {
  Component("Ferrolan", "00000000003");
  Jre("00000000001");
  // Our updater is newer: extract.
  EXPECT_EQ(DecideInstall(State("00000000004", "00000000001")).action, InstallAction::Extract);
  // Installed updater newer, no app installed, offline build: extract.
  EXPECT_EQ(DecideInstall(State("00000000002", "00000000001")).action, InstallAction::Extract);
  EXPECT_NE(Log().find("No app version found and we are offline so will extract"),
            std::string::npos);
  // Installed updater newer, embedded app newer than installed: the app decides.
  Component("Demo", "00000000007");
  EXPECT_EQ(DecideInstall(State("00000000002", "00000000008")).action, InstallAction::Extract);
  EXPECT_EQ(DecideInstall(State("00000000002", "00000000007")).action, InstallAction::RunInstalled);
  // Online build (no app embedded) and bare launcher run what is installed.
  EXPECT_EQ(DecideInstall(State("00000000002", "")).action, InstallAction::RunInstalled);
  EXPECT_EQ(DecideInstall(State("", "99999999999")).action, InstallAction::RunInstalled);
}

TEST_F(InstallDecisionTest, ElevenDigitVersionsCompareAsIntegers) {
  Component("Ferrolan", "09999999999");  // beyond 32 bits
  Component("Demo", "00000000001");
  Jre("00000000001");
  EXPECT_EQ(DecideInstall(State("10000000000", "00000000001")).action, InstallAction::Extract);
  EXPECT_EQ(DecideInstall(State("09999999999", "00000000001")).action, InstallAction::RunInstalled);
}

TEST_F(InstallDecisionTest, BrokenJreForcesExtraction) {
  Component("Ferrolan", "00000000002");
  Component("Demo", "00000000005");
  // Launchers but no class library: broken on every system, although the updater and the
  // application are current.
  Jre("00000000001", nullptr);
  InstallDecision d = DecideInstall(State("00000000002", "00000000005"));
  EXPECT_EQ(d.action, InstallAction::Extract);
  EXPECT_FALSE(d.latestJreFolder);
  EXPECT_NE(
      Log().find("[Extractor] The existing JRE is broken. Instructing the wrapper to update."),
      std::string::npos);

  // A newer JRE with only the first launcher: on Windows the windowed one is missing, which
  // breaks it; where there is only one launcher it is sound and runs.
  stdfs::path jre = Component("jre17", "00000000002");
  Touch(jre / "lib" / "modules");
  Touch(jre / "bin" / jre::JreLauncherNames().front());
  d = DecideInstall(State("00000000002", "00000000005"));
  if (jre::JreLauncherNames().size() == 1) {
    EXPECT_EQ(d.action, InstallAction::RunInstalled);
    EXPECT_EQ(d.latestJreFolder, "Ferrolan-jre17-00000000002-complete");
  } else {
    EXPECT_EQ(d.action, InstallAction::Extract);
    EXPECT_FALSE(d.latestJreFolder);
  }
}

TEST_F(InstallDecisionTest, JreSoundnessLayouts) {
  EXPECT_TRUE(IsJreSound(Jre("00000000001", "lib/modules").string()));     // Java 9 and later
  EXPECT_TRUE(IsJreSound(Jre("00000000002", "lib/rt.jar").string()));      // Java 8 JRE
  EXPECT_TRUE(IsJreSound(Jre("00000000003", "jre/lib/rt.jar").string()));  // Java 8 JDK
  EXPECT_FALSE(IsJreSound(Jre("00000000004", nullptr).string()));          // no class library
  stdfs::path noLaunchers = Component("jre17", "00000000005");
  Touch(noLaunchers / "lib" / "modules");
  EXPECT_FALSE(IsJreSound(noLaunchers.string()));
}

}  // namespace
}  // namespace ferrolan::launcher
