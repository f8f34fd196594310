// The extraction end to end: packaged launchers with a real payload (signed, LZMA-compressed
// archives of an updater, a JRE and an application) are built from the launcher executable and
// run, prepare-only, in a temporary root. Online builds carry no JRE and take over a stand-in
// system JRE whose launcher really runs the compatibility test.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "archive/testdata/archive_test_util.h"
#include "jre/jre_layout.h"
#include "jre/jre_test_support.h"
#include "os/os.h"
#include "process/spawner.h"
#include "tail/markers.h"
#include "testing/files.h"
#include "testing/tail_builder.h"
#include "testing/temp_folder.h"

namespace ferrolan::launcher {
namespace {

namespace stdfs = std::filesystem;
using archive::ArchiveWriter;
using archive::EncodeEntryHeader;
using archive::EntryType;
namespace testutil = archive::testutil;

using ferrolan::testing::ReadFile;

std::string TailEntry(const std::string& name, const std::string& content) {
  return EncodeEntryHeader(EntryType::kFile, name, static_cast<std::int64_t>(content.size())) +
         content;
}

// A signed archive compressed as the packager does, carried as a ".p2.l2" tail entry.
template <typename Fill>
std::string ArchiveEntry(const std::string& name, Fill fill, bool tamper = false) {
  std::string archive = testutil::BuildArchive(fill, &testutil::TestKey());
  if (tamper) archive[archive.find("updater-main")] = 'X';
  return TailEntry(name, testutil::CompressLzmaAlone(archive));
}

struct Payload {
  std::string appVersion = "00000000005";
  std::string jreVersion = "00000000003";  // empty: an online build, which carries no JRE
  std::string guVersion = "00000000002";
  bool tamperUpdater = false;
  std::string updaterLaunchFile = "updater-main";  // the updater's "FerrolanLaunch"
  bool autoTest = false;              // the Params section asks for the automated-test JRE folder
  std::int64_t jreEntryOverrun = 0;   // bytes the JRE entry claims beyond what it carries
  std::size_t appVersionShortBy = 0;  // bytes cut from the end of the last entry
  std::string splashImage;            // base64 of a per-download splash image, or empty
};

// The updater's launch file of an online build: the JRE search runs its compatibility class on
// every candidate. The stand-in launchers pass a class whose name holds "Compatibility".
std::string UpdaterLaunchFile(const std::string& compatibilityClass) {
  ferrolan::testing::LaunchFileContents contents;
  contents.compatibilityClass = compatibilityClass;
  return contents.Bytes();
}

// A lock shared by the test processes of this machine: whoever creates the folder holds it.
// A folder older than the longest test is taken to be left by a test process that died.
class FolderLock {
 public:
  explicit FolderLock(stdfs::path path) : path_(std::move(path)) {
    for (int attempt = 0; attempt < 1800; ++attempt) {
      std::error_code error;
      if (stdfs::create_directory(path_, error)) {
        held_ = true;
        return;
      }
      const auto stamp = stdfs::last_write_time(path_, error);
      if (!error && stdfs::file_time_type::clock::now() - stamp > std::chrono::minutes(3))
        stdfs::remove(path_, error);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ADD_FAILURE() << "Could not lock " << path_;
  }
  ~FolderLock() {
    std::error_code ignored;
    if (held_) stdfs::remove(path_, ignored);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  stdfs::path path_;
  bool held_ = false;
};

class ExtractionE2ETest : public ferrolan::testing::TempFolderTest {
 protected:
  void SetUp() override {
    stdfs::create_directories(root_ / "programdata");
    for (const char* name : kVariables) {
      saved_.push_back(os::GetEnv(name));
      os::SetEnv(name, std::nullopt);
    }
    os::SetEnv("PROGRAMDATA", (root_ / "programdata").string());
    // The launcher looks for system JREs under PROGRAMFILES. Wine gives every new process the
    // system's value again, whatever its parent had, so in the Windows build the stand-ins go
    // into the system's folder, under the automated-test root that exists so that tests never
    // meet the machine's own JREs. Elsewhere the variable points into this test's root.
    const std::optional<std::string>& systemProgramFiles = saved_[1];
    if (stdfs::path(FERROLAN_EXE_PATH).extension() == ".exe" && systemProgramFiles) {
      programFiles_ = *systemProgramFiles;
      os::SetEnv("PROGRAMFILES", systemProgramFiles);
    } else {
      programFiles_ = root_ / "programfiles";
      stdfs::create_directories(programFiles_);
      os::SetEnv("PROGRAMFILES", programFiles_.string());
    }
    // The stand-in launchers record every run in one file; the variable reaches them through
    // the launcher.
    os::SetEnv(jre::testing::kFakeJavaLogVariable, JavaRuns().string());
    image_ = ReadFile(FERROLAN_EXE_PATH);
  }
  void TearDown() override {
    if (jreLock_) {
      std::error_code ignored;
      stdfs::remove_all(AutoTestJreRoot(), ignored);
      jreLock_.reset();
    }
    for (std::size_t i = 0; i < std::size(kVariables); ++i) os::SetEnv(kVariables[i], saved_[i]);
  }

  std::string Build(const Payload& payload) const {
    const std::vector<std::string> fields = {"Demo App",
                                             payload.appVersion,
                                             payload.jreVersion,
                                             payload.guVersion,
                                             "700",
                                             testutil::TestKey().PublicHex(),
                                             "1",
                                             "perm_all",
                                             "/S",
                                             "11",
                                             "http://127.0.0.1:9/app"};
    std::string out = image_ + ferrolan::testing::WrapperTailFields(fields);
    // lzma.exe must be an executable image on Windows, where it is patched to be windowed.
    out += TailEntry("lzma.exe", image_);
    out += TailEntry("nativesplash.png", "png bytes");
    out += TailEntry("cacerts", "override trust store");
    const std::string launchFile = payload.updaterLaunchFile;
    out += ArchiveEntry(
        "updater.p2.l2", [&](ArchiveWriter& w) { w.AddFile("FerrolanLaunch", launchFile); },
        payload.tamperUpdater);
    out += TailEntry("updater.version", payload.guVersion);
    if (!payload.jreVersion.empty()) {
      std::string jre = ArchiveEntry("jre.p2.l2", [](ArchiveWriter& w) {
        w.AddFolder("bin");
        for (const char* launcher : jre::JreLauncherNames())
          w.AddFile(std::string("bin/") + launcher, "not a real launcher");
        w.AddFile("lib/modules", "class library");
        w.AddFile("lib/security/cacerts", "original trust store");
      });
      if (payload.jreEntryOverrun != 0) {
        // The same entry with a length that runs past the end of the file.
        const std::size_t header = jre.find(".p2.l2") + 7;
        const std::size_t lengthEnd = jre.find('\0', header);
        const std::int64_t length = std::stoll(jre.substr(header, lengthEnd - header));
        jre = jre.substr(0, header) + std::to_string(length + payload.jreEntryOverrun) +
              jre.substr(lengthEnd);
      }
      out += jre;
    }
    if (!payload.appVersion.empty()) {
      const std::string version = payload.appVersion;
      out += ArchiveEntry("app.p2.l2",
                          [&](ArchiveWriter& w) { w.AddFile("app.jar", "app " + version); });
      const std::string entry = TailEntry("app.version", version);
      out += entry.substr(0, entry.size() - std::min(payload.appVersionShortBy, version.size()));
    }
    ferrolan::testing::ParamList params = {{"jre_name", "jre17"}};
    if (payload.autoTest) params.emplace_back("wrapper_autotest", "true");
    if (!payload.splashImage.empty()) params.emplace_back("splash_image", payload.splashImage);
    return out + ferrolan::testing::ParamsSection(params);
  }

  int Run(const Payload& payload) {
    stdfs::path exe = root_ / ("launcher" + stdfs::path(FERROLAN_EXE_PATH).extension().string());
    {
      std::ofstream out(exe, std::ios::binary | std::ios::trunc);
      const std::string file = Build(payload);
      out.write(file.data(), static_cast<std::streamsize>(file.size()));
    }
    stdfs::permissions(exe, stdfs::perms::owner_all, stdfs::perm_options::add);
    process::Spawner spawner = process::SpawnerCreate();
    process::SpawnerSetExe(spawner, exe.string());
    process::SpawnerAppend(spawner, "FLPREPARE_FOR_LAUNCH_ONLY");
    return process::runSpawnerAndWait(spawner);
  }

  stdfs::path Master() const { return root_ / "programdata" / "Ferrolan-Demo App"; }
  stdfs::path Folder(const std::string& name, const std::string& version) const {
    return Master() / ("Ferrolan-" + name + "-" + version + "-complete");
  }
  std::vector<std::string> TempFolders() const { return FoldersStartingWith("FerrolanTemp-"); }
  std::string RunLog() const {
    stdfs::path newest;
    for (const auto& entry : stdfs::directory_iterator(Master() / "logs"))
      if (newest.empty() || entry.path().filename() > newest.filename()) newest = entry.path();
    return newest.empty() ? "" : ReadFile(newest);
  }

  // Where the launcher looks for system JREs in auto-test mode. It may be shared with other test
  // processes, so it is used under a lock and starts empty.
  stdfs::path AutoTestJreRoot() const { return programFiles_ / "Java_FLAutoTest"; }

  // A system JRE 17 or 11 under the auto-test root, with a launcher that runs, and a class
  // library and trust store of its own.
  stdfs::path SystemJre(int release) {
    if (!jreLock_) {
      jreLock_.emplace(programFiles_ / "Java_FLAutoTest.lock");
      stdfs::remove_all(AutoTestJreRoot());
    }
    const stdfs::path folder = AutoTestJreRoot() / ("jre" + std::to_string(release));
    jre::testing::FakeJre fake;
    fake.version = release == 17 ? jre::testing::kJava17 : jre::testing::kJava11;
    fake.runnableLauncher = true;
    jre::testing::MakeFakeJre(folder.string(), fake);
    jre::testing::WriteFile((folder / "lib" / "modules").string(), "system class library");
    jre::testing::WriteFile((folder / "lib" / "security" / "cacerts").string(),
                            "system trust store");
    return folder;
  }
  stdfs::path JavaRuns() const { return root_ / "java-runs.txt"; }
  // One line per run of a stand-in launcher: its path and arguments.
  std::vector<std::string> JavaRunLines() const {
    std::vector<std::string> lines;
    std::ifstream in(JavaRuns());
    for (std::string line; std::getline(in, line);)
      if (!line.empty()) lines.push_back(line);
    return lines;
  }
  std::vector<std::string> FoldersStartingWith(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const auto& entry : stdfs::directory_iterator(Master()))
      if (entry.path().filename().string().starts_with(prefix))
        found.push_back(entry.path().filename().string());
    return found;
  }

  static constexpr const char* kVariables[] = {"PROGRAMDATA", "PROGRAMFILES",
                                               jre::testing::kFakeJavaLogVariable};
  stdfs::path programFiles_;
  std::optional<FolderLock> jreLock_;
  std::vector<std::optional<std::string>> saved_;
  std::string image_;
};

TEST_F(ExtractionE2ETest, OfflineBuildInstallsThenRunsAsInstalled) {
  ASSERT_EQ(Run({}), 0) << RunLog();
  const stdfs::path updater = Folder("Ferrolan", "00000000002");
  const stdfs::path jre = Folder("jre17", "00000000003");
  const stdfs::path app = Folder("Demo App", "00000000005");
  EXPECT_EQ(ReadFile(updater / "FerrolanLaunch"), "updater-main");
  EXPECT_EQ(ReadFile(updater / "nativesplash.png"), "png bytes");
  EXPECT_TRUE(stdfs::exists(updater / "lzma.exe"));
  EXPECT_EQ(ReadFile(jre / "lib" / "modules"), "class library");
  // The updater's trust store replaces the one the JRE came with.
  EXPECT_EQ(ReadFile(jre / "lib" / "security" / "cacerts"), "override trust store");
  EXPECT_EQ(ReadFile(app / "app.jar"), "app 00000000005");
  EXPECT_EQ(ReadFile(app / "app.version"), "00000000005");
  EXPECT_TRUE(TempFolders().empty());
  std::string log = RunLog();
  EXPECT_NE(log.find("[Extractor] Will now run latest GU Ferrolan-Ferrolan-00000000002-complete"),
            std::string::npos)
      << log;
  // The version-file probe raced for a proxy; the server is unreachable, so the race failed
  // and recorded only the (empty) proxy of the user's settings, which names no proxy to store.
  EXPECT_NE(log.find("[HttpDownloader] Download Tasks Complete! (success=0)"), std::string::npos);
  EXPECT_NE(log.find("[Proxy] Saving proxy settings now."), std::string::npos);
  EXPECT_EQ(log.find("[Proxy] Saved proxy list"), std::string::npos);

  // Everything is current now: the second run extracts nothing.
  ASSERT_EQ(Run({}), 0);
  EXPECT_NE(RunLog().find("[Extractor] Running without extraction now"), std::string::npos);
}

TEST_F(ExtractionE2ETest, NewerAppExtractsOnlyTheApp) {
  ASSERT_EQ(Run({}), 0) << RunLog();
  const stdfs::path updater = Folder("Ferrolan", "00000000002");
  const stdfs::path jre = Folder("jre17", "00000000003");
  std::ofstream(updater / "kept") << "x";
  std::ofstream(jre / "kept") << "x";

  Payload newer;
  newer.appVersion = "00000000006";
  newer.splashImage = "b3duIGltYWdl";  // "own image"
  ASSERT_EQ(Run(newer), 0) << RunLog();
  EXPECT_EQ(ReadFile(Folder("Demo App", "00000000006") / "app.jar"), "app 00000000006");
  EXPECT_TRUE(stdfs::exists(Folder("Demo App", "00000000005")));
  // The installed updater and JRE were neither replaced nor extracted again.
  EXPECT_TRUE(stdfs::exists(updater / "kept"));
  EXPECT_TRUE(stdfs::exists(jre / "kept"));
  EXPECT_TRUE(TempFolders().empty());
  std::string log = RunLog();
  EXPECT_NE(log.find("[Extractor] Keeping the installed GU"), std::string::npos) << log;
  EXPECT_NE(log.find("[Extractor] Keeping the installed JRE"), std::string::npos);
  // The download's own splash image is shown although the updater is kept, from a folder of
  // the run (gone again), and the kept updater's image stays as installed.
  EXPECT_NE(log.find("[Extractor] DynamicSplash is 1, size is 9"), std::string::npos);
  const std::size_t own = log.find("[Extractor] Overwriting splash image at ");
  ASSERT_NE(own, std::string::npos);
  EXPECT_NE(log.substr(own, log.find('\n', own) - own).find("FerrolanTemp-"), std::string::npos);
  EXPECT_EQ(ReadFile(updater / "nativesplash.png"), "png bytes");

  // A newer updater is installed beside the old one, and the kept JRE gets its trust store.
  std::ofstream(jre / "lib" / "security" / "cacerts", std::ios::trunc) << "stale";
  Payload newerUpdater = newer;
  newerUpdater.guVersion = "00000000004";
  ASSERT_EQ(Run(newerUpdater), 0) << RunLog();
  EXPECT_EQ(ReadFile(Folder("Ferrolan", "00000000004") / "FerrolanLaunch"), "updater-main");
  EXPECT_TRUE(stdfs::exists(jre / "kept"));
  EXPECT_EQ(ReadFile(jre / "lib" / "security" / "cacerts"), "override trust store");
  EXPECT_NE(RunLog().find("[Extractor] Keeping the installed App"), std::string::npos);
  EXPECT_TRUE(TempFolders().empty());
}

TEST_F(ExtractionE2ETest, TamperedUpdaterArchiveFailsAndInstallsNothing) {
  Payload tampered;
  tampered.tamperUpdater = true;
  EXPECT_EQ(Run(tampered), 1);
  std::string log = RunLog();
  EXPECT_NE(log.find("*******************************************"), std::string::npos) << log;
  EXPECT_FALSE(stdfs::exists(Folder("Ferrolan", "00000000002")));
  EXPECT_TRUE(TempFolders().empty());  // the failed component's folder is removed

  // The next run finds nothing installed and goes to extraction again.
  EXPECT_EQ(Run(tampered), 1);
  log = RunLog();
  EXPECT_NE(log.find("No latest GU or JRE version exists"), std::string::npos) << log;
  EXPECT_EQ(log.find("[PickFolder] Set latest"), std::string::npos);
}

// An entry that claims more bytes than the file holds swallows the entries after it. The
// install fails, and neither the cut component nor the ones it swallowed get a versioned name.
TEST_F(ExtractionE2ETest, EntryRunningPastTheEndFailsAndRenamesNothingIncomplete) {
  Payload cut;
  cut.jreEntryOverrun = 10 * 1024 * 1024;
  EXPECT_EQ(Run(cut), 1);
  const std::string log = RunLog();
  EXPECT_NE(log.find("the input ends inside the entry"), std::string::npos) << log;
  EXPECT_TRUE(stdfs::exists(Folder("Ferrolan", "00000000002")));  // complete before the cut
  EXPECT_FALSE(stdfs::exists(Folder("jre17", "00000000003")));
  EXPECT_FALSE(stdfs::exists(Folder("Demo App", "00000000005")));
  EXPECT_TRUE(TempFolders().empty());

  // A later run does not keep anything half-installed: it fails the same way.
  EXPECT_EQ(Run(cut), 1);
  EXPECT_FALSE(stdfs::exists(Folder("Demo App", "00000000005")));
}

// The last entry, cut a few bytes short, is followed by the Params section: it must end at the
// Params marker instead of taking the marker's first bytes as its own rest.
TEST_F(ExtractionE2ETest, LastEntryCutShortBeforeTheParamsSectionFails) {
  Payload cut;
  cut.appVersionShortBy = 3;
  EXPECT_EQ(Run(cut), 1);
  EXPECT_NE(RunLog().find("the input ends inside the entry"), std::string::npos) << RunLog();
  EXPECT_FALSE(stdfs::exists(Folder("Demo App", "00000000005")));
  EXPECT_TRUE(TempFolders().empty());
}

TEST_F(ExtractionE2ETest, OnlineBuildCopiesACompatibleSystemJre) {
  const stdfs::path candidate = SystemJre(17);
  // System JREs often keep their trust store as a link to the machine's shared one. Where links
  // can be made, the candidate's is one, so the override below must not write through it.
  const stdfs::path sharedTrustStore = root_ / "shared-cacerts";
  jre::testing::WriteFile(sharedTrustStore.string(), "system trust store");
  const stdfs::path candidateTrustStore = candidate / "lib" / "security" / "cacerts";
  std::error_code linkError;
  stdfs::remove(candidateTrustStore);
  stdfs::create_symlink(sharedTrustStore, candidateTrustStore, linkError);
  if (linkError) jre::testing::WriteFile(candidateTrustStore.string(), "system trust store");
  SystemJre(11);  // passes too, but the search goes from the newest release down
  Payload online;
  online.jreVersion = "";
  online.autoTest = true;
  online.updaterLaunchFile = UpdaterLaunchFile("com.example.JreCompatibility");
  ASSERT_EQ(Run(online), 0) << RunLog();

  // The compatibility class ran once, on the newest candidate's launcher, and passed.
  const std::vector<std::string> runs = JavaRunLines();
  ASSERT_EQ(runs.size(), 1u) << JavaRuns();
  EXPECT_NE(runs[0].find("jre17"), std::string::npos) << runs[0];
  EXPECT_NE(runs[0].find("com.example.JreCompatibility"), std::string::npos) << runs[0];
  // The log file is closed before the test process starts; what led up to it is there.
  const std::string log = RunLog();
  const std::string launcher = jre::LocateJavaLauncher(candidate.string());
  EXPECT_NE(log.find("[Extractor] Checking for existing system JRE " + launcher), std::string::npos)
      << log;
  EXPECT_NE(log.find("[Extractor] [Launch] Class: com.example.JreCompatibility"),
            std::string::npos);

  // The copy became the private JRE under the version of a copied system JRE.
  const stdfs::path copy = Folder("jre17", "00000000000");
  EXPECT_EQ(FoldersStartingWith("Ferrolan-jre17-"),
            std::vector<std::string>{copy.filename().string()});
  EXPECT_EQ(ReadFile(copy / "lib" / "modules"), "system class library");
  EXPECT_EQ(ReadFile(copy / "release"), ReadFile(candidate / "release"));
  const stdfs::path copiedLauncher = copy / stdfs::path(launcher).lexically_relative(candidate);
  EXPECT_EQ(ReadFile(copiedLauncher), ReadFile(launcher));
  EXPECT_TRUE(stdfs::exists(jre::LocateUnpack200(copy.string())));
  // The updater's trust store goes into the copy; the system JRE itself stays untouched.
  EXPECT_EQ(ReadFile(copy / "lib" / "security" / "cacerts"), "override trust store");
  EXPECT_FALSE(stdfs::is_symlink(copy / "lib" / "security" / "cacerts"));
  EXPECT_EQ(ReadFile(candidateTrustStore), "system trust store");
  EXPECT_EQ(ReadFile(sharedTrustStore), "system trust store");
  EXPECT_EQ(ReadFile(Folder("Demo App", "00000000005") / "app.jar"), "app 00000000005");
  EXPECT_TRUE(TempFolders().empty());
}

TEST_F(ExtractionE2ETest, OnlineBuildRefusesAnIncompatibleSystemJre) {
  // The only candidate fails the compatibility test, and the JRE download that follows cannot
  // succeed.
  SystemJre(17);
  Payload online;
  online.jreVersion = "";
  online.appVersion = "";
  online.autoTest = true;
  online.updaterLaunchFile = UpdaterLaunchFile("com.example.Rejected");
  EXPECT_EQ(Run(online), 1) << RunLog();

  const std::vector<std::string> runs = JavaRunLines();
  ASSERT_EQ(runs.size(), 1u) << JavaRuns();
  EXPECT_NE(runs[0].find("Java_FLAutoTest"), std::string::npos) << runs[0];
  EXPECT_NE(runs[0].find("com.example.Rejected"), std::string::npos) << runs[0];
  EXPECT_TRUE(FoldersStartingWith("Ferrolan-jre17-").empty());
  EXPECT_TRUE(TempFolders().empty());
  EXPECT_TRUE(stdfs::exists(Folder("Ferrolan", "00000000002") / "FerrolanLaunch"));
}

}  // namespace
}  // namespace ferrolan::launcher
