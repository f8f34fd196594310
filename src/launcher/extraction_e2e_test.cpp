// The extraction end to end: packaged launchers with a real payload (signed, LZMA-compressed
// archives of an updater, a JRE and an application) are built from the launcher executable and
// run, prepare-only, in a temporary root.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/testdata/archive_test_util.h"
#include "launch/spawner.h"
#include "launcher/platform_names.h"
#include "os/os.h"
#include "tail/markers.h"

namespace ferrolan::launcher {
namespace {

namespace stdfs = std::filesystem;
using archive::ArchiveWriter;
using archive::EncodeEntryHeader;
using archive::EntryType;
namespace testutil = archive::testutil;

template <typename Bytes>
std::string AsString(const Bytes& bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::string ReadFile(const stdfs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

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
  std::string jreVersion = "00000000003";
  std::string guVersion = "00000000002";
  bool tamperUpdater = false;
};

class ExtractionE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    root_ = stdfs::temp_directory_path() /
            ("ferrolan-install-e2e-" +
             std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
             std::to_string(counter++));
    stdfs::create_directories(root_ / "programdata");
    saved_ = os::GetEnv("PROGRAMDATA");
    os::SetEnv("PROGRAMDATA", (root_ / "programdata").string());
    image_ = ReadFile(FERROLAN_EXE_PATH);
  }
  void TearDown() override {
    os::SetEnv("PROGRAMDATA", saved_);
    std::error_code ignored;
    stdfs::remove_all(root_, ignored);
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
                                             "http://updates.invalid/app"};
    std::string out = image_ + AsString(tail::TailMarker());
    for (const std::string& field : fields) out += field + '\0';
    // lzma.exe must be an executable image on Windows, where it is patched to be windowed.
    out += TailEntry("lzma.exe", image_);
    out += TailEntry("nativesplash.png", "png bytes");
    out += TailEntry("cacerts", "override trust store");
    out += ArchiveEntry(
        "updater.p2.l2", [](ArchiveWriter& w) { w.AddFile("FerrolanLaunch", "updater-main"); },
        payload.tamperUpdater);
    out += TailEntry("updater.version", payload.guVersion);
    if (!payload.jreVersion.empty()) {
      out += ArchiveEntry("jre.p2.l2", [](ArchiveWriter& w) {
        w.AddFolder("bin");
        for (const char* launcher : JreLauncherNames())
          w.AddFile(std::string("bin/") + launcher, "not a real launcher");
        w.AddFile("lib/modules", "class library");
        w.AddFile("lib/security/cacerts", "original trust store");
      });
    }
    if (!payload.appVersion.empty()) {
      const std::string version = payload.appVersion;
      out += ArchiveEntry("app.p2.l2",
                          [&](ArchiveWriter& w) { w.AddFile("app.jar", "app " + version); });
      out += TailEntry("app.version", version);
    }
    out += AsString(tail::ParamsMarker()) + "1" + '\0' + "jre_name" + '\0' + "jre17" + '\0';
    return out;
  }

  int Run(const Payload& payload) {
    stdfs::path exe = root_ / ("launcher" + stdfs::path(FERROLAN_EXE_PATH).extension().string());
    {
      std::ofstream out(exe, std::ios::binary | std::ios::trunc);
      const std::string file = Build(payload);
      out.write(file.data(), static_cast<std::streamsize>(file.size()));
    }
    stdfs::permissions(exe, stdfs::perms::owner_all, stdfs::perm_options::add);
    launch::Spawner spawner = launch::SpawnerCreate();
    launch::SpawnerSetExe(spawner, exe.string());
    launch::SpawnerAppend(spawner, "FLPREPARE_FOR_LAUNCH_ONLY");
    return launch::runSpawnerAndWait(spawner);
  }

  stdfs::path Master() const { return root_ / "programdata" / "Ferrolan-Demo App"; }
  stdfs::path Folder(const std::string& name, const std::string& version) const {
    return Master() / ("Ferrolan-" + name + "-" + version + "-complete");
  }
  std::vector<std::string> TempFolders() const {
    std::vector<std::string> found;
    for (const auto& entry : stdfs::directory_iterator(Master()))
      if (entry.path().filename().string().starts_with("FerrolanTemp-"))
        found.push_back(entry.path().filename().string());
    return found;
  }
  std::string RunLog() const {
    stdfs::path newest;
    for (const auto& entry : stdfs::directory_iterator(Master() / "logs"))
      if (newest.empty() || entry.path().filename() > newest.filename()) newest = entry.path();
    return newest.empty() ? "" : ReadFile(newest);
  }

  stdfs::path root_;
  std::optional<std::string> saved_;
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
  EXPECT_NE(log.find("[Proxy] No working proxy was found, so no proxy to be saved."),
            std::string::npos);

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
  for (const std::string& temp : TempFolders()) EXPECT_TRUE(stdfs::is_empty(Master() / temp));

  // The next run finds nothing installed and goes to extraction again.
  EXPECT_EQ(Run(tampered), 1);
  log = RunLog();
  EXPECT_NE(log.find("No latest GU or JRE version exists"), std::string::npos) << log;
  EXPECT_EQ(log.find("[PickFolder] Set latest"), std::string::npos);
}

}  // namespace
}  // namespace ferrolan::launcher
