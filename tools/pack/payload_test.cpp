// The packaging commands end to end: build -> inspect, stamp, tampering, bad configurations,
// the marker guard, and a packaged launcher made from the real launcher image that prepares an
// installation in a temporary root.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "os/os.h"
#include "pack/cli/cli.h"
#include "pack/format/payload_reader.h"
#include "pack/format/payload_writer.h"
#include "pack/packaged/inspect_command.h"
#include "pack/packaged/stamp_command.h"
#include "pack/release/build_command.h"
#include "process/spawner.h"
#include "tail/markers.h"
#include "testing/files.h"
#include "testing/tail_builder.h"
#include "testing/temp_folder.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;

// Whole files, as the packager reads and writes them.
constexpr auto ReadAll = &testing::ReadFile;
constexpr auto WriteAll = &testing::WriteFile;
using testing::AsString;

// The marker search of a launcher that starts over on a mismatch without testing the
// mismatching byte again: the reason the packager guards its markers.
std::int64_t SimpleMatcherEnd(const std::string& file, const std::string& marker) {
  std::size_t index = 0;
  for (std::size_t i = 0; i < file.size(); ++i) {
    index = (file[i] == marker[index]) ? index + 1 : 0;
    if (index == marker.size()) return static_cast<std::int64_t>(i + 1);
  }
  return -1;
}

// One key for the whole test binary: generating RSA keys is slow, under Wine even more.
const archive::SigningKey& TestKey(int which = 0) {
  static std::unique_ptr<archive::SigningKey> keys[2];
  if (!keys[which]) keys[which] = archive::SigningKey::Generate(2048);
  return *keys[which];
}

class PackageTest : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    std::vector<unsigned char> der = TestKey().PrivateDer();
    WriteAll(root_ / "vendor.private.der", std::string(der.begin(), der.end()));
    WriteAll(root_ / "gu" / "lib" / "updater.jar", "updater classes");
    WriteAll(root_ / "gu" / "FerrolanLaunch", "launch file");
    WriteAll(root_ / "jre" / "bin" / "java", "java");
    WriteAll(root_ / "app" / "app.jar", std::string(100000, 'a'));
    WriteAll(root_ / "app" / "FerrolanLaunch", "launch file");
    WriteAll(root_ / "lzma.exe", "lzma tool");
    WriteAll(root_ / "splash.png", "\x89PNG splash");
    WriteAll(root_ / "cacerts", "trust store");
  }

  // A complete configuration; `extra` members are added before the closing brace.
  std::string Config(const std::string& extra = "") const {
    return R"({
  "app_name": "Demo App",
  "install_type": "perm_all",
  "update_url": "http://127.0.0.1:9/updates",
  "min_splash_ms": 700,
  "can_override_splash": true,
  "silent_parameter": "/S",
  "required_java_version": "11",
  "key": "vendor.private.der",
  "lzma_exe": "lzma.exe",
  "splash_image": "splash.png",
  "cacerts": "cacerts",
  "updater": {"version": "2", "folder": "gu"},
  "jre": {"name": "jre17", "version": 1, "folder": "jre"},
  "app": {"version": "00000000005", "folder": "app"},
  "params": {"update_url": "http://127.0.0.1:9/dyn", "splash_buffer": "3"})" +
           extra + "\n}\n";
  }

  int Build(const std::string& config, const std::string& output = "launcher") {
    WriteAll(root_ / "app.json", config);
    return RunBuild({"--config", (root_ / "app.json").string(), "-o", (root_ / output).string(),
                     "--launcher", FERROLAN_EXE_PATH});
  }

  std::string Out(const std::string& name = "launcher") const { return (root_ / name).string(); }
};

// An image that ends in the marker's first byte (and one ending in a partial match) would hide
// the marker from a launcher whose search does not test a mismatching byte again.
TEST_F(PackageTest, MarkersAreGuardedAgainstAPartialMatchBeforeThem) {
  const std::string tailMarker = AsString(tail::TailMarker());
  const std::string paramsMarker = AsString(tail::ParamsMarker());
  EXPECT_TRUE(NeedsGuardByte(tail::TailMarker()[0], tail::TailMarker()));
  std::uint8_t guard = GuardByte(tail::TailMarker());
  EXPECT_FALSE(NeedsGuardByte(guard, tail::TailMarker()));

  for (const std::string& imageEnd : {tailMarker.substr(0, 1), tailMarker.substr(0, 5)}) {
    WriteAll(root_ / "image", "MZ image bytes " + imageEnd);
    // The last entry's content ends in the Params marker's first bytes.
    WriteAll(root_ / "last", "content " + paramsMarker.substr(0, 3));
    LauncherPayload payload;
    payload.imagePath = (root_ / "image").string();
    payload.fields.appName = "Demo";
    payload.fields.guVersion = "00000000002";
    payload.entries = {{"a", (root_ / "lzma.exe").string()},
                       {"b", (root_ / "splash.png").string()},
                       {"c", (root_ / "cacerts").string()},
                       {"d", (root_ / "cacerts").string()},
                       {"e", (root_ / "last").string()}};
    payload.params = {{"jre_name", "jre17"}};
    std::string error;
    std::optional<PayloadLayout> layout = WriteLauncherFile(payload, Out(), &error);
    ASSERT_TRUE(layout) << error;
    std::string file = ReadAll(Out());
    EXPECT_EQ(file.substr(layout->tailMarkerOffset, tailMarker.size()), tailMarker);
    EXPECT_EQ(SimpleMatcherEnd(file, tailMarker),
              static_cast<std::int64_t>(layout->tailMarkerOffset + tailMarker.size()));
    EXPECT_EQ(SimpleMatcherEnd(file, paramsMarker),
              static_cast<std::int64_t>(layout->paramsMarkerOffset + paramsMarker.size()));
    std::optional<LauncherContents> contents = ReadLauncherContents(Out(), &error);
    ASSERT_TRUE(contents) << error;
    EXPECT_EQ(contents->entries.size(), 5u);
    EXPECT_EQ(contents->params.params, payload.params);
  }
  // No guard where none is needed: the marker follows the image at once.
  WriteAll(root_ / "image", std::string("MZ image bytes ") + static_cast<char>(guard));
  LauncherPayload plain;
  plain.imagePath = (root_ / "image").string();
  std::string error;
  std::optional<PayloadLayout> layout = WriteLauncherFile(plain, Out(), &error);
  ASSERT_TRUE(layout) << error;
  EXPECT_EQ(layout->tailMarkerOffset, layout->imageSize);

  // An image that already holds the marker is not a launcher image.
  WriteAll(root_ / "image", "MZ" + tailMarker + "more");
  EXPECT_FALSE(WriteLauncherFile(plain, Out("other"), &error));
  EXPECT_NE(error.find("already contains the tail marker"), std::string::npos) << error;
  EXPECT_FALSE(stdfs::exists(Out("other")));
  EXPECT_FALSE(stdfs::exists(Out("other") + ".partial"));
}

TEST_F(PackageTest, ReadingRefusesBrokenLayouts) {
  const std::string tailMarker = AsString(tail::TailMarker());
  const std::string params = AsString(tail::ParamsMarker());
  const std::string fields = std::string(
      "Demo\0\0\0\0"
      "700\0\0"
      "1\0perm_all\0\0"
      "11\0D\0",
      30);
  auto read = [&](const std::string& bytes, std::string* error) {
    WriteAll(root_ / "file", bytes);
    return ReadLauncherContents((root_ / "file").string(), error);
  };
  std::string error;
  // A bare launcher (no updater version) carries no entries.
  std::optional<LauncherContents> bare =
      read("MZ" + tailMarker + fields + params + std::string("1\0a\0b\0", 6), &error);
  ASSERT_TRUE(bare) << error;
  EXPECT_TRUE(bare->entries.empty());
  EXPECT_EQ(bare->params.params, (std::vector<Param>{{"a", "b"}}));

  std::string withGu = fields;
  withGu.replace(7, 1, std::string("00000000002\0", 12));
  EXPECT_FALSE(read("MZ" + tailMarker + withGu +
                        std::string("0\0x\0"
                                    "99\0abc",
                                    10) +
                        params + std::string("0\0", 2),
                    &error));
  EXPECT_NE(error.find("runs past the end"), std::string::npos) << error;
  EXPECT_FALSE(read("MZ" + tailMarker + fields + params + std::string("x\0", 2), &error));
  EXPECT_NE(error.find("count"), std::string::npos) << error;
  EXPECT_FALSE(read("MZ" + tailMarker + fields + params + std::string("2\0a\0b\0c\0", 8), &error));
  EXPECT_NE(error.find("pair 1 of 2"), std::string::npos) << error;
  EXPECT_FALSE(read("MZ" + fields + params + std::string("0\0", 2), &error));
  EXPECT_NE(error.find("no tail marker"), std::string::npos) << error;
}

TEST_F(PackageTest, BuildThenInspectRoundTrip) {
  ASSERT_EQ(Build(Config()), kExitOk);
  EXPECT_FALSE(stdfs::exists(Out() + ".work"));
  std::string error;
  std::optional<LauncherContents> contents = ReadLauncherContents(Out(), &error);
  ASSERT_TRUE(contents) << error;
  EXPECT_EQ(contents->tailMarkerOffset, stdfs::file_size(FERROLAN_EXE_PATH));
  EXPECT_EQ(ReadAll(Out()).substr(0, contents->tailMarkerOffset), ReadAll(FERROLAN_EXE_PATH));
  const tail::TailFields& f = contents->fields;
  EXPECT_EQ(f.appName, "Demo App");
  EXPECT_EQ(f.appVersion, "00000000005");
  EXPECT_EQ(f.jreVersion, "00000000001");
  EXPECT_EQ(f.guVersion, "00000000002");
  EXPECT_EQ(f.minSplashMs, "700");
  EXPECT_EQ(f.publicKey, TestKey().PublicHex());
  EXPECT_EQ(f.canOverrideSplash, "1");
  EXPECT_EQ(f.installType, "perm_all");
  EXPECT_EQ(f.silentParameter, "/S");
  EXPECT_EQ(f.requiredJavaVersion, "11");
  EXPECT_EQ(f.updateUrl, "http://127.0.0.1:9/updates");

  std::vector<std::string> names;
  for (const TailEntryInfo& entry : contents->entries) names.push_back(entry.path);
  EXPECT_EQ(names, (std::vector<std::string>{
                       "lzma.exe", "nativesplash.png", "cacerts",
                       "Ferrolan-Ferrolan-00000000002-archive.p2.l2",
                       "Ferrolan-Ferrolan-version.txt", "Ferrolan-jre17-00000000001-archive.p2.l2",
                       "Ferrolan-Demo App_offline_flwin-00000000005-archive.p2.l2",
                       "Ferrolan-Demo App-version.txt"}));
  std::string file = ReadAll(Out());
  EXPECT_EQ(file.substr(contents->entries[4].contentOffset, 11), "00000000002");
  EXPECT_EQ(file.substr(contents->entries[0].contentOffset, 9), "lzma tool");
  // The JRE's name is added to the Params, which the launcher needs to find the JRE.
  EXPECT_EQ(contents->params.params, (std::vector<Param>{{"update_url", "http://127.0.0.1:9/dyn"},
                                                         {"splash_buffer", "3"},
                                                         {"jre_name", "jre17"}}));
  EXPECT_EQ(contents->params.end, file.size());

  auto key = ImportTailKey(f.publicKey);
  ASSERT_TRUE(key);
  ArchiveCheck app =
      CheckCarriedArchive(Out(), contents->entries[6].contentOffset,
                          static_cast<std::uint64_t>(contents->entries[6].length), key.get());
  EXPECT_TRUE(app.ok) << app.message;
  EXPECT_TRUE(app.hasSignature);
  EXPECT_EQ(app.files, 2);  // app.jar and its launch file
  EXPECT_EQ(RunInspect({Out()}), kExitOk);

  // An online build without JRE and application carries the five updater entries only.
  std::string online = Config();
  online.erase(online.find("  \"jre\""), online.find("  \"params\"") - online.find("  \"jre\""));
  ASSERT_EQ(Build(online, "online"), kExitOk);
  contents = ReadLauncherContents(Out("online"), &error);
  ASSERT_TRUE(contents) << error;
  EXPECT_EQ(contents->entries.size(), 5u);
  EXPECT_EQ(contents->fields.appVersion, "");
  EXPECT_EQ(RunInspect({Out("online")}), kExitOk);
}

TEST_F(PackageTest, StampChangesOnlyTheParams) {
  ASSERT_EQ(Build(Config()), kExitOk);
  std::string error;
  std::optional<ParamsSection> before = ReadParamsSection(Out(), &error);
  ASSERT_TRUE(before) << error;
  std::string original = ReadAll(Out());
  // Something after the pairs (the padding of a signature table) must survive as well.
  WriteAll(Out(), original + std::string(8, '\0'));

  ASSERT_EQ(RunStamp({Out(), "--set", "update_url=http://127.0.0.1:9/new", "--unset",
                      "splash_buffer", "--set=show_no_ui=true", "--set", "empty="}),
            kExitOk);
  std::string stamped = ReadAll(Out());
  EXPECT_EQ(stamped.substr(0, before->start), original.substr(0, before->start));
  EXPECT_EQ(stamped.substr(stamped.size() - 8), std::string(8, '\0'));
  std::optional<ParamsSection> after = ReadParamsSection(Out(), &error);
  ASSERT_TRUE(after) << error;
  EXPECT_EQ(after->start, before->start);
  EXPECT_EQ(after->params, (std::vector<Param>{{"update_url", "http://127.0.0.1:9/new"},
                                               {"jre_name", "jre17"},
                                               {"show_no_ui", "true"},
                                               {"empty", ""}}));
  EXPECT_EQ(RunInspect({Out()}), kExitOk);

  // To another file: the original stays as it was.
  ASSERT_EQ(RunStamp({Out(), "--unset", "empty", "-o", Out("copy")}), kExitOk);
  EXPECT_EQ(ReadAll(Out()), stamped);
  EXPECT_EQ(ReadParamsSection(Out("copy"), &error)->params.size(), 3u);

  EXPECT_EQ(RunStamp({Out(), "--set", "novalue"}), kExitUsage);
  EXPECT_EQ(RunStamp({Out(), "--set", "=x"}), kExitUsage);
  EXPECT_EQ(RunStamp({Out()}), kExitUsage);
  EXPECT_EQ(RunStamp({Out(), "--bogus", "x"}), kExitUsage);
  EXPECT_EQ(RunStamp({Out(), "--set", "big=" + std::string(200000, 'v')}), kExitUsage);
  EXPECT_EQ(ReadAll(Out()), stamped);
  WriteAll(Out("plain"), "no markers here");
  EXPECT_EQ(RunStamp({Out("plain"), "--set", "a=b"}), kExitFailed);
}

TEST_F(PackageTest, InspectFailsOnTamperedOrWronglyKeyedArchives) {
  ASSERT_EQ(Build(Config()), kExitOk);
  std::string error;
  std::optional<LauncherContents> contents = ReadLauncherContents(Out(), &error);
  ASSERT_TRUE(contents) << error;
  const TailEntryInfo& gu = contents->entries[3];
  std::string file = ReadAll(Out());

  // One byte of the compressed updater archive changed.
  std::string tampered = file;
  std::size_t at = gu.contentOffset + static_cast<std::uint64_t>(gu.length) / 2;
  tampered[at] = static_cast<char>(tampered[at] ^ 0x01);
  WriteAll(Out("tampered"), tampered);
  EXPECT_EQ(RunInspect({Out("tampered")}), kExitFailed);

  // A launcher carrying another key than the one that signed: the signature does not match.
  std::string key = TestKey().PublicHex();
  std::string other = TestKey(1).PublicHex();
  ASSERT_EQ(key.size(), other.size());
  std::string rekeyed = file;
  rekeyed.replace(rekeyed.find(key), key.size(), other);
  WriteAll(Out("rekeyed"), rekeyed);
  auto otherKey = ImportTailKey(other);
  ArchiveCheck check = CheckCarriedArchive(Out("rekeyed"), gu.contentOffset,
                                           static_cast<std::uint64_t>(gu.length), otherKey.get());
  EXPECT_FALSE(check.ok);
  EXPECT_NE(check.message.find("SIGNATURE DOES NOT MATCH"), std::string::npos) << check.message;
  EXPECT_EQ(RunInspect({Out("rekeyed")}), kExitFailed);

  // Signed archives in a launcher without a key would be refused by the launcher.
  check =
      CheckCarriedArchive(Out(), gu.contentOffset, static_cast<std::uint64_t>(gu.length), nullptr);
  EXPECT_FALSE(check.ok);

  // A file cut inside its entries cannot be read at all.
  WriteAll(Out("cut"), file.substr(0, gu.contentOffset + 10) + AsString(tail::ParamsMarker()) +
                           std::string("0\0", 2));
  EXPECT_EQ(RunInspect({Out("cut")}), kExitFailed);
  EXPECT_EQ(RunInspect({}), kExitUsage);
}

TEST_F(PackageTest, BadConfigurationsExitWithTwo) {
  std::string good = Config();
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const std::string bad[] = {
      "{\"app_name\": \"Demo\",}",                                      // not JSON
      "[1]",                                                            // not an object
      Config(",\n  \"colour\": \"blue\""),                              // unknown setting
      Config(",\n  \"app_name\": \"Other\""),                           // duplicate name
      replaced("\"install_type\": \"perm_all\",", ""),                  // missing setting
      replaced("\"version\": \"2\"", "\"version\": \"123456789012\""),  // 12 digits
      replaced("\"version\": \"2\"", "\"version\": \"2.0\""),           // not digits
      replaced("\"min_splash_ms\": 700", "\"min_splash_ms\": -1"),      // negative
      replaced("\"can_override_splash\": true", "\"can_override_splash\": 1"),
      replaced("\"app_name\": \"Demo App\"", "\"app_name\": \"a/b\""),  // not a plain name
      replaced("\"folder\": \"app\"", "\"folder\": \"missing\""),       // no such folder
      replaced("\"splash_buffer\": \"3\"", "\"splash_buffer\": 3"),     // Params are strings
      replaced("\"folder\": \"gu\"", "\"folder\": \"gu\", \"extra\": 1"),
  };
  for (const std::string& config : bad) {
    EXPECT_EQ(Build(config), kExitUsage) << config;
    EXPECT_FALSE(stdfs::exists(Out())) << config;
  }
  EXPECT_EQ(RunBuild({"--config", (root_ / "none.json").string(), "-o", Out()}), kExitUsage);
  EXPECT_EQ(RunBuild({"-o", Out()}), kExitUsage);
}

// The real thing: the launcher image packaged by "build" prepares an installation.
TEST_F(PackageTest, PackagedLauncherPreparesAnInstallation) {
  std::string exe = "launcher" + stdfs::path(FERROLAN_EXE_PATH).extension().string();
  // On Windows the launcher makes the extracted lzma.exe a windowed program, which needs a real
  // executable image; any will do, so the launcher's own stands in.
  WriteAll(root_ / "lzma.exe", ReadAll(FERROLAN_EXE_PATH));
  ASSERT_EQ(Build(Config(), exe), kExitOk);
  ASSERT_EQ(RunStamp({Out(exe), "--set", "update_url=http://127.0.0.1:9/none"}), kExitOk);
  stdfs::create_directories(root_ / "programdata");
  stdfs::create_directories(root_ / "appdata");
  std::optional<std::string> savedProgramData = os::GetEnv("PROGRAMDATA");
  std::optional<std::string> savedAppData = os::GetEnv("APPDATA");
  os::SetEnv("PROGRAMDATA", (root_ / "programdata").string());
  os::SetEnv("APPDATA", (root_ / "appdata").string());
  process::Spawner spawner = process::SpawnerCreate();
  process::SpawnerSetExe(spawner, Out(exe));
  process::SpawnerAppend(spawner, "FLPREPARE_FOR_LAUNCH_ONLY");
  int code = process::runSpawnerAndWait(spawner);
  os::SetEnv("PROGRAMDATA", savedProgramData);
  os::SetEnv("APPDATA", savedAppData);

  stdfs::path master = root_ / "programdata" / "Ferrolan-Demo App";
  std::string log;
  if (stdfs::is_directory(master / "logs")) {
    for (const auto& entry : stdfs::directory_iterator(master / "logs")) log += ReadAll(entry);
  }
  EXPECT_NE(log.find("[Extractor] RodoverUvezede version is 00000000002"), std::string::npos)
      << log;
  EXPECT_NE(log.find("[Extractor] OFFLINE wrapper: App version is 00000000005"), std::string::npos);
  EXPECT_NE(log.find("[Extractor] Checking for a latest valid GU"), std::string::npos);
  EXPECT_NE(log.find("No latest GU or JRE version exists"), std::string::npos);
  // What the launcher then extracted passed its own signature check.
  EXPECT_NE(log.find("[Unarchiver] Archive signature verified."), std::string::npos);
  EXPECT_EQ(log.find("unable to verify signature"), std::string::npos);
  EXPECT_EQ(ReadAll(master / "Ferrolan-Ferrolan-00000000002-complete" / "lib" / "updater.jar"),
            "updater classes");
  EXPECT_EQ(code, 0) << log;
}

}  // namespace
}  // namespace ferrolan::pack
