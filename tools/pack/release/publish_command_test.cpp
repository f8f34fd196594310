// publish: the update folder holds exactly the files the launcher asks an update server for,
// each archive passes the launcher's own verification, each version file reads back as the
// launcher reads it, and the signed metadata names every archive as it lies in the folder.
// Releases are added beside the published ones, never behind them, and only from a folder whose
// published release verifies; a folder that holds anything else is replaced only when asked to.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive_writer.h"
#include "archive/sha256.h"
#include "archive/testdata/test_signing_key.h"
#include "archive/update_metadata.h"
#include "fs/owned_file.h"
#include "launcher/jre_setup.h"
#include "pack/cli/cli.h"
#include "pack/format/payload_reader.h"
#include "pack/release/publish_command.h"
#include "testing/files.h"
#include "testing/temp_folder.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;
using archive::UpdateComponentKind;
using archive::UpdateMetadata;

const archive::SigningKey& TestKey() {
  static std::unique_ptr<archive::SigningKey> key = archive::SigningKey::Generate(2048);
  return *key;
}

// Another vendor's key.
const archive::SigningKey& OtherKey() {
  static std::unique_ptr<archive::SigningKey> key =
      archive::SigningKey::FromPrivateHex(archive::testdata::kTestPrivateKeyHex);
  return *key;
}

std::uint64_t Now() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                        std::chrono::system_clock::now().time_since_epoch())
                                        .count());
}

// Every file of a folder by name, with its content.
std::map<std::string, std::string> FolderContents(const stdfs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : stdfs::directory_iterator(folder))
    files[entry.path().filename().string()] = testing::ReadFile(entry.path());
  return files;
}

std::set<std::string> Names(const std::map<std::string, std::string>& contents) {
  std::set<std::string> names;
  for (const auto& [name, content] : contents) names.insert(name);
  return names;
}

// A jar of stored entries, as far as the packager reads one: local headers, the central
// directory and its end record.
std::string StoredJar(const std::vector<std::pair<std::string, std::string>>& files) {
  // Little-endian fields of the given sizes in bytes.
  auto put = [](std::string& out, std::initializer_list<std::pair<std::uint32_t, int>> fields) {
    for (const auto& [value, bytes] : fields)
      for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  };
  std::string body, directory, end;
  for (const auto& [name, content] : files) {
    const auto size = static_cast<std::uint32_t>(content.size());
    const auto nameSize = static_cast<std::uint32_t>(name.size());
    put(directory, {{0x02014b50, 4},
                    {20, 2},
                    {20, 2},
                    {0, 2},
                    {0, 2},
                    {0, 4},
                    {0, 4},
                    {size, 4},
                    {size, 4},
                    {nameSize, 2},
                    {0, 2},
                    {0, 2},
                    {0, 2},
                    {0, 2},
                    {0, 4},
                    {static_cast<std::uint32_t>(body.size()), 4}});
    directory += name;
    put(body, {{0x04034b50, 4},
               {20, 2},
               {0, 2},
               {0, 2},
               {0, 4},
               {0, 4},
               {size, 4},
               {size, 4},
               {nameSize, 2},
               {0, 2}});
    body += name + content;
  }
  const auto count = static_cast<std::uint32_t>(files.size());
  put(end, {{0x06054b50, 4},
            {0, 4},
            {count, 2},
            {count, 2},
            {static_cast<std::uint32_t>(directory.size()), 4},
            {static_cast<std::uint32_t>(body.size()), 4},
            {0, 2}});
  return body + directory + end;
}

class PublishTest : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    std::vector<unsigned char> der = TestKey().PrivateDer();
    Write("vendor.private.der", std::string(der.begin(), der.end()));
    der = OtherKey().PrivateDer();
    Write("other.private.der", std::string(der.begin(), der.end()));
    Write("gu/lib/updater.jar", "updater classes");
    Write("gu/FerrolanLaunch", "launch file");
    Write("jre/bin/java", "java");
    Write("app/app.jar", std::string(100000, 'a'));
    Write("app/FerrolanLaunch", "launch file");
  }

  // A configuration with the updater and `components` (the "jre" and "app" members). The files
  // only a launcher carries are named but absent: publish does not need them.
  int Publish(const std::string& components, const std::vector<std::string>& extra = {}) {
    Write("app.json", R"({
  "app_name": "Demo App", "install_type": "perm_all", "update_url": "D",
  "required_java_version": 11, "key": "vendor.private.der",
  "lzma_exe": "lzma.exe", "splash_image": "splash.png", "cacerts": "cacerts",
  "updater": {"version": "2", "folder": "gu"})" +
                          components + "}\n");
    std::vector<std::string> args = {"--config", Path("app.json"), "-o", Path("site")};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunPublish(args);
  }

  // The JRE and the application at `app`, the JRE at `jre`.
  int PublishApp(const std::string& app, const std::vector<std::string>& extra = {},
                 const std::string& jre = "1") {
    return Publish(R"(, "jre": {"name": "jre17", "version": )" + jre +
                       R"(, "folder": "jre"}, "app": {"version": ")" + app +
                       R"(", "folder": "app"})",
                   extra);
  }

  // The folder's metadata, verified with `key`.
  archive::MetadataReading Metadata(const archive::SigningKey& key = TestKey()) const {
    std::unique_ptr<archive::PublicKey> publicKey = ImportTailKey(key.PublicHex());
    return archive::ReadUpdateMetadata(Read(Path("site/Ferrolan-update.meta")), publicKey.get());
  }

  // Signs `metadata` into the folder, as an earlier publish might have left it.
  void WriteMetadata(const UpdateMetadata& metadata, const archive::SigningKey& key) {
    Write("site/Ferrolan-update.meta", archive::SignUpdateMetadata(metadata, key));
  }

  static constexpr const char* kJreAndApp =
      R"(, "jre": {"name": "jre17", "version": 1, "folder": "jre"},
  "app": {"version": "00000000005", "folder": "app"})";
};

TEST_F(PublishTest, WritesTheServerFilesOfEveryComponentInTheFormsTheLauncherReads) {
  ASSERT_EQ(Publish(kJreAndApp), kExitOk);
  // The application goes by its own name on the server, not by the tail's offline name.
  const std::map<std::string, std::string> versions = {
      {"Ferrolan-Ferrolan-version.txt", "00000000002"},
      {"Ferrolan-jre17-version.txt", "00000000001"},
      {"Ferrolan-Demo App-version.txt", "00000000005"},
  };
  const std::set<std::string> archives = {
      "Ferrolan-Ferrolan-00000000002-archive.p2.l2",
      "Ferrolan-jre17-00000000001-archive.p2.l2",
      "Ferrolan-Demo App-00000000005-archive.p2.l2",
  };
  std::set<std::string> expected(archives);
  for (const auto& [name, version] : versions) expected.insert(name);
  expected.insert("Ferrolan-update.meta");
  EXPECT_EQ(Names(FolderContents(Path("site"))), expected);
  // Nothing of the work is left beside it.
  EXPECT_EQ(std::distance(stdfs::directory_iterator(root_), stdfs::directory_iterator()), 7);

  for (const auto& [name, version] : versions) {
    fs::OwnedFile file = fs::OpenFile(Path("site/" + name), "r");
    ASSERT_TRUE(file) << name;
    launcher::ServerVersion read = launcher::ReadServerVersion(file.get());
    EXPECT_EQ(read.text, version) << name;
    EXPECT_FALSE(read.tooLong);
    EXPECT_TRUE(launcher::IsValidVersionText(read.text));
  }
  std::unique_ptr<archive::PublicKey> key = ImportTailKey(TestKey().PublicHex());
  ASSERT_TRUE(key);
  for (const std::string& name : archives) {
    const std::string path = Path("site/" + name);
    const std::string bytes = testing::ReadFile(path);
    EXPECT_EQ(bytes.substr(0, 6), std::string("\xFD"
                                              "7zXZ\0",
                                              6))
        << name << ": not xz";
    ArchiveCheck check = CheckCarriedArchive(path, 0, bytes.size(), key.get());
    EXPECT_TRUE(check.ok) << name << ": " << check.message;
    EXPECT_TRUE(check.hasSignature) << name;
  }

  // The metadata verifies with the key and names every archive as it lies in the folder.
  const archive::MetadataReading reading = Metadata();
  ASSERT_EQ(reading.status, archive::MetadataStatus::kOk) << reading.problem;
  const UpdateMetadata& m = reading.metadata;
  EXPECT_EQ(m.appName, "Demo App");
  EXPECT_GE(m.metadataVersion + 5, Now());
  EXPECT_NEAR(static_cast<double>(m.expires), static_cast<double>(Now() + 28 * 86400), 60);
  EXPECT_FALSE(m.critical);
  EXPECT_EQ(m.minimumVersion, "");
  EXPECT_EQ(m.rollout, 100);
  ASSERT_EQ(m.components.size(), 3u);
  std::set<std::string> named;
  for (const archive::UpdateComponent& component : m.components) {
    const std::string bytes = Read(Path("site/" + component.archive));
    archive::Sha256 hash;
    hash.Add(bytes.data(), bytes.size());
    EXPECT_EQ(component.length, bytes.size()) << component.archive;
    EXPECT_EQ(component.sha256, hash.HexDigest()) << component.archive;
    EXPECT_EQ(component.archive,
              "Ferrolan-" + component.name + "-" + component.version + "-archive.p2.l2");
    named.insert(component.archive);
  }
  EXPECT_EQ(named, archives);
  EXPECT_EQ(m.Find(UpdateComponentKind::kJre)->name, "jre17");
  EXPECT_EQ(m.Find(UpdateComponentKind::kApp)->version, "00000000005");
}

TEST_F(PublishTest, TheTermsOfTheReleaseAreSignedIntoTheMetadata) {
  ASSERT_EQ(Publish("", {"--expires-days", "366"}), kExitOk);
  EXPECT_EQ(Names(FolderContents(Path("site"))),
            (std::set<std::string>{"Ferrolan-Ferrolan-version.txt",
                                   "Ferrolan-Ferrolan-00000000002-archive.p2.l2",
                                   "Ferrolan-update.meta"}));
  EXPECT_NEAR(static_cast<double>(Metadata().metadata.expires),
              static_cast<double>(Now() + 366 * 86400), 60);

  ASSERT_EQ(PublishApp("7", {"--critical", "--minimum-version", "6", "--rollout", "0",
                             "--expires-days", "1"}),
            kExitOk);
  const UpdateMetadata m = Metadata().metadata;
  EXPECT_TRUE(m.critical);
  EXPECT_EQ(m.minimumVersion, "00000000006");
  EXPECT_EQ(m.rollout, 0);
  EXPECT_NEAR(static_cast<double>(m.expires), static_cast<double>(Now() + 86400), 60);
}

TEST_F(PublishTest, AReleaseIsAddedBesideThePublishedOnes) {
  // Without the cache, an archive packed again would carry a new signature: equal bytes below
  // show that the published archive was kept.
  ASSERT_EQ(PublishApp("5", {"--no-cache"}), kExitOk);
  const auto first = FolderContents(Path("site"));
  const UpdateMetadata published = Metadata().metadata;
  // Metadata from a clock ahead of this one: its version is continued all the same.
  UpdateMetadata ahead = published;
  ahead.metadataVersion = Now() + 1000000;
  WriteMetadata(ahead, TestKey());

  ASSERT_EQ(PublishApp("6", {"--no-cache"}), kExitOk);
  const auto second = FolderContents(Path("site"));
  std::set<std::string> expected = Names(first);
  expected.insert("Ferrolan-Demo App-00000000006-archive.p2.l2");
  EXPECT_EQ(Names(second), expected);
  for (const char* unchanged :
       {"Ferrolan-Demo App-00000000005-archive.p2.l2", "Ferrolan-jre17-00000000001-archive.p2.l2",
        "Ferrolan-Ferrolan-00000000002-archive.p2.l2"}) {
    EXPECT_EQ(second.at(unchanged), first.at(unchanged)) << unchanged;
  }
  EXPECT_EQ(second.at("Ferrolan-Demo App-version.txt"), "00000000006");
  const archive::MetadataReading reading = Metadata();
  ASSERT_EQ(reading.status, archive::MetadataStatus::kOk) << reading.problem;
  const UpdateMetadata& m = reading.metadata;
  EXPECT_EQ(m.metadataVersion, ahead.metadataVersion + 1);
  EXPECT_EQ(m.Find(UpdateComponentKind::kApp)->archive,
            "Ferrolan-Demo App-00000000006-archive.p2.l2");
  EXPECT_EQ(m.Find(UpdateComponentKind::kApp)->length,
            second.at("Ferrolan-Demo App-00000000006-archive.p2.l2").size());
  EXPECT_EQ(m.Find(UpdateComponentKind::kJre)->sha256,
            published.Find(UpdateComponentKind::kJre)->sha256);

  // A newer JRE comes with the application that follows; the published one stays beside it.
  ASSERT_EQ(PublishApp("7", {}, "2"), kExitOk);
  EXPECT_TRUE(stdfs::exists(Path("site/Ferrolan-jre17-00000000002-archive.p2.l2")));
  EXPECT_EQ(Read(Path("site/Ferrolan-jre17-00000000001-archive.p2.l2")),
            first.at("Ferrolan-jre17-00000000001-archive.p2.l2"));
  EXPECT_EQ(Metadata().metadata.Find(UpdateComponentKind::kJre)->version, "00000000002");
}

TEST_F(PublishTest, AReleaseThatIsNotNewerIsRefusedAndChangesNothing) {
  ASSERT_EQ(PublishApp("5", {}, "3"), kExitOk);
  const auto published = FolderContents(Path("site"));
  EXPECT_EQ(PublishApp("5", {}, "3"), kExitFailed);  // the same application
  EXPECT_EQ(PublishApp("4", {}, "3"), kExitFailed);  // an older one
  EXPECT_EQ(PublishApp("6", {}, "2"), kExitFailed);  // a newer one with an older JRE
  EXPECT_EQ(FolderContents(Path("site")), published);

  // A folder without metadata (published without a key, or by an older packager): its version
  // files say what is published.
  stdfs::remove(Path("site/Ferrolan-update.meta"));
  EXPECT_EQ(PublishApp("5", {}, "3"), kExitFailed);
  EXPECT_EQ(FolderContents(Path("site")).size(), published.size() - 1);
  ASSERT_EQ(PublishApp("6", {}, "3"), kExitOk);
  EXPECT_EQ(Metadata().status, archive::MetadataStatus::kOk);
}

// A release continues only a published one that is the vendor's own: metadata that verifies
// with the key and names this application, and kept archives that are still the ones it names
// (or, without metadata, that verify with the key).
TEST_F(PublishTest, OnlyAPublishedReleaseThatVerifiesIsContinued) {
  ASSERT_EQ(PublishApp("5"), kExitOk);
  const UpdateMetadata published = Metadata().metadata;
  const std::string jreArchive = Path("site/Ferrolan-jre17-00000000001-archive.p2.l2");
  const std::string jreBytes = Read(jreArchive);

  WriteMetadata(published, OtherKey());
  auto before = FolderContents(Path("site"));
  EXPECT_EQ(PublishApp("6"), kExitFailed);
  EXPECT_EQ(FolderContents(Path("site")), before);

  UpdateMetadata otherApp = published;
  otherApp.appName = "Other App";
  WriteMetadata(otherApp, TestKey());
  EXPECT_EQ(PublishApp("6"), kExitFailed);

  WriteMetadata(published, TestKey());
  std::string changed = jreBytes;
  changed[changed.size() / 2] = static_cast<char>(changed[changed.size() / 2] ^ 1);
  Write("site/Ferrolan-jre17-00000000001-archive.p2.l2", changed);
  before = FolderContents(Path("site"));
  EXPECT_EQ(PublishApp("6"), kExitFailed);
  EXPECT_EQ(FolderContents(Path("site")), before);

  // Without metadata the kept archive must carry the key's signature.
  stdfs::remove(Path("site/Ferrolan-update.meta"));
  EXPECT_EQ(PublishApp("6"), kExitFailed);
  Write("site/Ferrolan-jre17-00000000001-archive.p2.l2", jreBytes);
  ASSERT_EQ(PublishApp("6"), kExitOk);
  EXPECT_EQ(Metadata().metadata.Find(UpdateComponentKind::kJre)->sha256,
            published.Find(UpdateComponentKind::kJre)->sha256);
}

TEST_F(PublishTest, AFolderThatIsNoUpdateFolderIsReplacedOnlyWithForce) {
  ASSERT_EQ(PublishApp("5"), kExitOk);
  UpdateMetadata ahead = Metadata().metadata;
  ahead.metadataVersion = Now() + 1000000;
  WriteMetadata(ahead, TestKey());
  Write("site/index.html", "a page");
  Write("site/Ferrolan-Demo App-00000000009-archive.p2.l2.partial", "an interrupted upload");
  const auto before = FolderContents(Path("site"));
  EXPECT_EQ(PublishApp("6"), kExitFailed);
  EXPECT_EQ(FolderContents(Path("site")), before);
  EXPECT_FALSE(stdfs::exists(Path("site.partial")));

  // With --force the folder is replaced as a whole: no file of the older upload remains, and
  // the metadata version still follows the one launchers may have seen.
  ASSERT_EQ(Publish(R"(, "app": {"version": "6", "folder": "app"})", {"--force"}), kExitOk);
  EXPECT_EQ(Names(FolderContents(Path("site"))),
            (std::set<std::string>{
                "Ferrolan-Ferrolan-version.txt", "Ferrolan-Ferrolan-00000000002-archive.p2.l2",
                "Ferrolan-Demo App-version.txt", "Ferrolan-Demo App-00000000006-archive.p2.l2",
                "Ferrolan-update.meta"}));
  EXPECT_EQ(Metadata().metadata.metadataVersion, ahead.metadataVersion + 1);
  EXPECT_FALSE(stdfs::exists(Path("site.old")));

  // The leftovers of an interrupted publish are no reason to refuse, and do not stay.
  Write("site/Ferrolan-Demo App-00000000009-archive.p2.l2.partial.entries.tmp", "entries");
  ASSERT_EQ(Publish(R"(, "app": {"version": "7", "folder": "app"})"), kExitOk);
  EXPECT_FALSE(
      stdfs::exists(Path("site/Ferrolan-Demo App-00000000009-archive.p2.l2.partial.entries.tmp")));

  // An empty folder is no upload to protect; a file of that name is not a folder to replace.
  stdfs::remove_all(Path("site"));
  stdfs::create_directories(Path("site"));
  EXPECT_EQ(Publish(""), kExitOk);
  stdfs::remove_all(Path("site"));
  Write("site", "a file");
  EXPECT_EQ(Publish("", {"--force"}), kExitFailed);
  EXPECT_EQ(testing::ReadFile(Path("site")), "a file");
}

TEST_F(PublishTest, PruneRemovesOnlyTheArchivesTheMetadataNoLongerNames) {
  ASSERT_EQ(PublishApp("5"), kExitOk);
  ASSERT_EQ(PublishApp("6", {}, "2"), kExitOk);
  // Files of components the metadata does not name: other applications (one whose name
  // begins with this one's), another JRE.
  Write("site/Ferrolan-Other App-00000000001-archive.p2.l2", "other");
  Write("site/Ferrolan-Demo App-2-00000000001-archive.p2.l2", "another application");
  Write("site/Ferrolan-jre11-00000000001-archive.p2.l2", "jre11");
  Write("site/Ferrolan-jre11-version.txt", "00000000001");
  ASSERT_EQ(PublishApp("7", {"--prune"}, "2"), kExitOk);
  EXPECT_EQ(Names(FolderContents(Path("site"))),
            (std::set<std::string>{
                "Ferrolan-Ferrolan-version.txt", "Ferrolan-Ferrolan-00000000002-archive.p2.l2",
                "Ferrolan-jre17-version.txt", "Ferrolan-jre17-00000000002-archive.p2.l2",
                "Ferrolan-Demo App-version.txt", "Ferrolan-Demo App-00000000007-archive.p2.l2",
                "Ferrolan-Other App-00000000001-archive.p2.l2",
                "Ferrolan-Demo App-2-00000000001-archive.p2.l2",
                "Ferrolan-jre11-00000000001-archive.p2.l2", "Ferrolan-jre11-version.txt",
                "Ferrolan-update.meta"}));

  // Later, with the scheduled refresh.
  ASSERT_EQ(PublishApp("8", {}, "2"), kExitOk);
  ASSERT_EQ(RunPublish({"--refresh", "--prune", "--config", Path("app.json"), "-o", Path("site")}),
            kExitOk);
  EXPECT_FALSE(stdfs::exists(Path("site/Ferrolan-Demo App-00000000007-archive.p2.l2")));
  EXPECT_TRUE(stdfs::exists(Path("site/Ferrolan-Demo App-00000000008-archive.p2.l2")));
}

TEST_F(PublishTest, RefreshSignsTheSameContentWithANewExpiryAndMetadataVersion) {
  EXPECT_EQ(RunPublish({"--refresh", "--key", Path("vendor.private.der"), "-o", Path("site")}),
            kExitFailed);  // nothing published yet
  ASSERT_EQ(PublishApp("5", {"--rollout", "10", "--critical"}), kExitOk);
  const auto published = FolderContents(Path("site"));
  const UpdateMetadata before = Metadata().metadata;

  ASSERT_EQ(RunPublish({"--refresh", "--key", Path("vendor.private.der"), "-o", Path("site"),
                        "--expires-days", "3"}),
            kExitOk);
  auto after = FolderContents(Path("site"));
  const archive::MetadataReading reading = Metadata();
  ASSERT_EQ(reading.status, archive::MetadataStatus::kOk) << reading.problem;
  UpdateMetadata expected = before;
  expected.metadataVersion = reading.metadata.metadataVersion;
  expected.expires = reading.metadata.expires;
  EXPECT_EQ(archive::EncodeUpdateMetadata(reading.metadata),
            archive::EncodeUpdateMetadata(expected));
  EXPECT_GT(reading.metadata.metadataVersion, before.metadataVersion);
  EXPECT_NEAR(static_cast<double>(reading.metadata.expires), static_cast<double>(Now() + 3 * 86400),
              60);
  after.erase("Ferrolan-update.meta");
  auto unchanged = published;
  unchanged.erase("Ferrolan-update.meta");
  EXPECT_EQ(after, unchanged);

  // The next step of a staged roll-out.
  ASSERT_EQ(RunPublish(
                {"--refresh", "--config", Path("app.json"), "-o", Path("site"), "--rollout", "50"}),
            kExitOk);
  EXPECT_EQ(Metadata().metadata.rollout, 50);
  EXPECT_TRUE(Metadata().metadata.critical);

  // Another vendor's key refreshes nothing.
  const std::string current = Read(Path("site/Ferrolan-update.meta"));
  EXPECT_EQ(RunPublish({"--refresh", "--key", Path("other.private.der"), "-o", Path("site")}),
            kExitFailed);
  EXPECT_EQ(Read(Path("site/Ferrolan-update.meta")), current);
}

TEST_F(PublishTest, TheFlagsDescribeTheApplicationAsForBuild) {
  Write("flags/app.jar", StoredJar({{"META-INF/MANIFEST.MF",
                                     "Manifest-Version: 1.0\r\nMain-Class: com.example.Main\r\n"},
                                    {"com/example/Main.class", "main"}}));
  Write("updater.jar", StoredJar({{"com/ferrolan/updater/Updater.class", "updater"},
                                  {"com/ferrolan/updater/CompatibilityCheck.class", "check"}}));
  const std::vector<std::string> flags = {
      "--name",        "Flag App",          "--input", Path("flags"),
      "--main-jar",    "app.jar",           "--key",   Path("vendor.private.der"),
      "--updater-jar", Path("updater.jar"), "-o",      Path("site")};
  std::vector<std::string> args = flags;
  args.insert(args.end(), {"--app-version", "1.2", "--minimum-version", "1.1"});
  ASSERT_EQ(RunPublish(args), kExitOk);
  const UpdateMetadata m = Metadata().metadata;
  EXPECT_EQ(m.appName, "Flag App");
  EXPECT_EQ(m.minimumVersion, "00100010000");
  EXPECT_EQ(m.Find(UpdateComponentKind::kApp)->archive,
            "Ferrolan-Flag App-00100020000-archive.p2.l2");
  EXPECT_EQ(m.Find(UpdateComponentKind::kUpdater)->version, "00100020000");

  args = flags;
  args.insert(args.end(), {"--app-version", "1.1"});
  EXPECT_EQ(RunPublish(args), kExitFailed);  // not newer
  args = flags;
  args.insert(args.end(), {"--app-version", "1.3", "--minimum-version", "1.4"});
  EXPECT_EQ(RunPublish(args), kExitUsage);  // above the version published
  args = flags;
  args.insert(args.end(), {"--config", Path("app.json")});
  EXPECT_EQ(RunPublish(args), kExitUsage);
}

TEST_F(PublishTest, BadCommandLinesAndConfigurationsExitWithTwo) {
  EXPECT_EQ(RunPublish({"--help"}), kExitOk);
  EXPECT_EQ(RunPublish({"-o", Path("site")}), kExitUsage);
  EXPECT_EQ(RunPublish({"--config", Path("app.json")}), kExitUsage);
  EXPECT_EQ(RunPublish({"--config", Path("missing.json"), "-o", Path("site")}), kExitUsage);
  EXPECT_EQ(Publish(R"(, "app": {"version": "6", "folder": "no such folder"})"), kExitUsage);
  EXPECT_EQ(Publish(R"(, "extra": 1)"), kExitUsage);
  const std::vector<std::vector<std::string>> badOptions = {{"--expires-days", "0"},
                                                            {"--expires-days", "367"},
                                                            {"--expires-days", "x"},
                                                            {"--rollout", "101"},
                                                            {"--rollout", "-1"},
                                                            {"--rollout", "1.5"},
                                                            {"--minimum-version", "v2"},
                                                            {"--minimum-version", "7"},
                                                            {"--refresh", "--critical"},
                                                            {"--refresh", "--force"},
                                                            {"--minimum-version", "123456789012"}};
  for (const std::vector<std::string>& options : badOptions) {
    EXPECT_EQ(PublishApp("6", options), kExitUsage) << options[0] << " " << options.back();
  }
  EXPECT_EQ(Publish("", {"--minimum-version", "1"}), kExitUsage);  // no application
  EXPECT_FALSE(stdfs::exists(Path("site")));
}

}  // namespace
}  // namespace ferrolan::pack
