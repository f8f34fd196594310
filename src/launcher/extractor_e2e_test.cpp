// The built launcher, end to end: a copy of the executable with a payload appended runs in a
// temporary root, and its exit code and log file show what the main flow decided.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "jre/jre_layout.h"
#include "os/os.h"
#include "process/spawner.h"
#include "tail/markers.h"
#include "testing/files.h"
#include "testing/tail_builder.h"
#include "testing/temp_folder.h"

namespace ferrolan::launcher {
namespace {

namespace stdfs = std::filesystem;

using ferrolan::testing::AsString;
using ferrolan::testing::ReadFile;

// A packaged launcher without archive entries: enough for start-up and the install decision.
struct LauncherFile {
  std::string image;
  std::vector<std::string> fields;
  ferrolan::testing::ParamList params;

  std::string Build() const {
    return image + ferrolan::testing::WrapperTailFields(fields) +
           ferrolan::testing::ParamsSection(params);
  }
};

class ExtractorE2ETest : public ferrolan::testing::TempFolderTest {
 protected:
  void SetUp() override {
    stdfs::create_directories(root_ / "programdata");
    saved_ = os::GetEnv("PROGRAMDATA");
    os::SetEnv("PROGRAMDATA", (root_ / "programdata").string());
    layout_.image = ReadFile(FERROLAN_EXE_PATH);
    layout_.fields = {"Demo App", "00000000005", "",   "00000000002",           "700", "", "1",
                      "perm_all", "/S",          "11", "http://127.0.0.1:9/app"};
    layout_.params = {{"jre_name", "jre17"}};
  }
  void TearDown() override { os::SetEnv("PROGRAMDATA", saved_); }

  stdfs::path Master() const { return root_ / "programdata" / "Ferrolan-Demo App"; }
  stdfs::path Component(const std::string& name, const std::string& version) {
    stdfs::path folder = Master() / ("Ferrolan-" + name + "-" + version + "-complete");
    stdfs::create_directories(folder);
    return folder;
  }
  void InstallCurrent() {
    Component("Ferrolan", "00000000002");
    Component("Demo App", "00000000005");
    stdfs::path jre = Component("jre17", "00000000001");
    for (const char* launcher : jre::JreLauncherNames()) {
      stdfs::create_directories(jre / "bin");
      std::ofstream(jre / "bin" / launcher) << "x";
    }
    stdfs::create_directories(jre / "lib");
    std::ofstream(jre / "lib" / "modules") << "x";
  }

  // Writes the launcher file and runs it with `args`; returns its exit code.
  int Run(std::initializer_list<const char*> args, const std::string& bytes = "") {
    stdfs::path exe = root_ / ("launcher" + stdfs::path(FERROLAN_EXE_PATH).extension().string());
    {
      std::ofstream out(exe, std::ios::binary | std::ios::trunc);
      std::string file = bytes.empty() ? layout_.Build() : bytes;
      out.write(file.data(), static_cast<std::streamsize>(file.size()));
    }
    stdfs::permissions(exe, stdfs::perms::owner_all, stdfs::perm_options::add);
    process::Spawner spawner = process::SpawnerCreate();
    process::SpawnerSetExe(spawner, exe.string());
    for (const char* arg : args) process::SpawnerAppend(spawner, arg);
    return process::runSpawnerAndWait(spawner);
  }

  // The text of the newest log file of the run.
  std::string RunLog() const {
    stdfs::path newest;
    if (!stdfs::is_directory(Master() / "logs")) return "";
    for (const auto& entry : stdfs::directory_iterator(Master() / "logs"))
      if (newest.empty() || entry.path().filename() > newest.filename()) newest = entry.path();
    return newest.empty() ? "" : ReadFile(newest);
  }

  std::optional<std::string> saved_;
  LauncherFile layout_;
};

TEST_F(ExtractorE2ETest, CurrentInstallationRunsWithoutExtractingWhenPreparing) {
  InstallCurrent();
  EXPECT_EQ(Run({"FLPREPARE_FOR_LAUNCH_ONLY"}), 0);
  std::string log = RunLog();
  EXPECT_NE(log.find("[Extractor] Checking for a latest valid GU"), std::string::npos) << log;
  EXPECT_NE(log.find("Latest App version is newer or same as our version so will just run"),
            std::string::npos);
  EXPECT_NE(log.find("[Extractor] Running without extraction now"), std::string::npos);
  EXPECT_TRUE(stdfs::is_directory(Master() / "FLAppsSharedConfig"));
}

TEST_F(ExtractorE2ETest, NothingInstalledGoesToExtraction) {
  EXPECT_NE(Run({"FLPREPARE_FOR_LAUNCH_ONLY"}), 0);  // this payload carries no entries
  std::string log = RunLog();
  EXPECT_NE(log.find("No latest GU or JRE version exists"), std::string::npos) << log;
  EXPECT_NE(log.find("[JREOverride] No JRE name override, will continue to use jre17"),
            std::string::npos);
  EXPECT_NE(log.find("[Extractor] RodoverUvezede version is 00000000002"), std::string::npos);
  EXPECT_NE(log.find("[Extractor] OFFLINE wrapper: App version is 00000000005"), std::string::npos);
}

TEST_F(ExtractorE2ETest, JreNameOverride) {
  InstallCurrent();
  stdfs::create_directories(Master() / "FLApps");
  std::ofstream(Master() / "FLApps" / "JreNameOverride") << "-";
  EXPECT_EQ(Run({"FLPREPARE_FOR_LAUNCH_ONLY"}), 0);
  EXPECT_NE(RunLog().find("[JREOverride] Ignoring JRE name -, keeping jre17"), std::string::npos);

  // Another name points at a JRE that is not installed: extraction follows.
  std::ofstream(Master() / "FLApps" / "JreNameOverride", std::ios::trunc) << "jre21";
  EXPECT_NE(Run({"FLPREPARE_FOR_LAUNCH_ONLY"}), 0);
  std::string log = RunLog();
  EXPECT_NE(log.find("[JREOverride] JRE name overriden to jre21"), std::string::npos) << log;
  EXPECT_NE(log.find("No latest GU or JRE version exists"), std::string::npos);

  // A name that would lead out of the master folder ends the run before anything is written.
  std::ofstream(Master() / "FLApps" / "JreNameOverride", std::ios::trunc) << "../../escape";
  EXPECT_EQ(Run({"FLPREPARE_FOR_LAUNCH_ONLY"}), 1);
  EXPECT_NE(RunLog().find("cannot be used as a folder name"), std::string::npos);
  EXPECT_FALSE(stdfs::exists(root_ / "escape"));
}

TEST_F(ExtractorE2ETest, BadLauncherFilesEndWithExitCodeOne) {
  // The bare image: no Params marker, nothing is created.
  EXPECT_EQ(Run({}, ReadFile(FERROLAN_EXE_PATH)), 1);
  EXPECT_FALSE(stdfs::exists(Master()));
  // Params but no tail.
  std::string noTail = layout_.Build();
  noTail.erase(layout_.image.size(), tail::TailMarker().size());
  EXPECT_EQ(Run({}, noTail), 1);
  EXPECT_FALSE(stdfs::exists(Master()));
  // A tail cut inside its fields.
  std::string cut = layout_.image + AsString(tail::TailMarker()) + "Demo App" + '\0';
  cut += AsString(tail::ParamsMarker()) + "0" + '\0';
  EXPECT_EQ(Run({}, cut), 1);
}

}  // namespace
}  // namespace ferrolan::launcher
