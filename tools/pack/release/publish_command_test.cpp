// publish: the update folder holds exactly the files the launcher asks an update server for,
// each archive passes the launcher's own verification, each version file reads back as the
// launcher reads it, and a folder that holds anything is replaced only when asked to.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
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

const archive::SigningKey& TestKey() {
  static std::unique_ptr<archive::SigningKey> key = archive::SigningKey::Generate(2048);
  return *key;
}

// Every file of a folder by name, with its content.
std::map<std::string, std::string> FolderContents(const stdfs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : stdfs::directory_iterator(folder))
    files[entry.path().filename().string()] = testing::ReadFile(entry.path());
  return files;
}

class PublishTest : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    std::vector<unsigned char> der = TestKey().PrivateDer();
    Write("vendor.private.der", std::string(der.begin(), der.end()));
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
  std::set<std::string> found;
  for (const auto& [name, content] : FolderContents(Path("site"))) found.insert(name);
  EXPECT_EQ(found, expected);
  // Nothing of the work is left beside it.
  EXPECT_EQ(std::distance(stdfs::directory_iterator(root_), stdfs::directory_iterator()), 6);

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
}

TEST_F(PublishTest, AnUpdaterAloneGivesTwoFiles) {
  ASSERT_EQ(Publish(""), kExitOk);
  std::set<std::string> found;
  for (const auto& [name, content] : FolderContents(Path("site"))) found.insert(name);
  EXPECT_EQ(found, (std::set<std::string>{"Ferrolan-Ferrolan-version.txt",
                                          "Ferrolan-Ferrolan-00000000002-archive.p2.l2"}));
}

TEST_F(PublishTest, AFolderThatHoldsAnythingIsReplacedOnlyWithForce) {
  ASSERT_EQ(Publish(kJreAndApp), kExitOk);
  const auto before = FolderContents(Path("site"));

  // A newer application: refused without --force, and the folder stays as it was.
  const std::string newer = R"(, "app": {"version": "6", "folder": "app"})";
  EXPECT_EQ(Publish(newer), kExitFailed);
  EXPECT_EQ(FolderContents(Path("site")), before);
  EXPECT_FALSE(stdfs::exists(Path("site.partial")));

  // With --force the folder is replaced as a whole: no file of the older upload remains.
  ASSERT_EQ(Publish(newer, {"--force"}), kExitOk);
  std::set<std::string> found;
  for (const auto& [name, content] : FolderContents(Path("site"))) found.insert(name);
  EXPECT_EQ(found,
            (std::set<std::string>{
                "Ferrolan-Ferrolan-version.txt", "Ferrolan-Ferrolan-00000000002-archive.p2.l2",
                "Ferrolan-Demo App-version.txt", "Ferrolan-Demo App-00000000006-archive.p2.l2"}));
  EXPECT_FALSE(stdfs::exists(Path("site.old")));

  // An empty folder is no upload to protect; a file of that name is not a folder to replace.
  stdfs::remove_all(Path("site"));
  stdfs::create_directories(Path("site"));
  EXPECT_EQ(Publish(""), kExitOk);
  stdfs::remove_all(Path("site"));
  Write("site", "a file");
  EXPECT_EQ(Publish("", {"--force"}), kExitFailed);
  EXPECT_EQ(testing::ReadFile(Path("site")), "a file");
}

TEST_F(PublishTest, BadCommandLinesAndConfigurationsExitWithTwo) {
  EXPECT_EQ(RunPublish({"--help"}), kExitOk);
  EXPECT_EQ(RunPublish({"-o", Path("site")}), kExitUsage);
  EXPECT_EQ(RunPublish({"--config", Path("app.json")}), kExitUsage);
  EXPECT_EQ(RunPublish({"--config", Path("missing.json"), "-o", Path("site")}), kExitUsage);
  EXPECT_EQ(Publish(R"(, "app": {"version": "6", "folder": "no such folder"})"), kExitUsage);
  EXPECT_EQ(Publish(R"(, "extra": 1)"), kExitUsage);
  EXPECT_FALSE(stdfs::exists(Path("site")));
}

}  // namespace
}  // namespace ferrolan::pack
