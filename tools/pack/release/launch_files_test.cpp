// The launch files, icon and updater jar the packager adds to the installed folders: written from
// a configuration or from the jpackage-style flags, read back with the launcher's own reader from
// the archives a built launcher carries, and the refusals that keep a launcher from being built
// when its application could never start.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive_writer.h"
#include "fs/owned_file.h"
#include "fs/pe_patch.h"
#include "launch/launch_sequence.h"
#include "pack/cli/cli.h"
#include "pack/format/jar_reader.h"
#include "pack/format/launch_file_writer.h"
#include "pack/format/payload_reader.h"
#include "pack/packaged/inspect_command.h"
#include "pack/release/build_command.h"
#include "pack/release/launch_staging.h"
#include "pack/release/publish_command.h"
#include "tail/payload_layout.h"
#include "testing/temp_folder.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;

void Le16(std::string& out, unsigned value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}
void Le32(std::string& out, std::uint32_t value) {
  Le16(out, value & 0xFFFF);
  Le16(out, value >> 16);
}

std::string RawDeflate(const std::string& text) {
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, static_cast<uLong>(text.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// A zip file the way the jar tool writes one: a local header and the data of every entry, then
// the central directory and its end record. The manifest is deflated, everything else stored.
std::string MakeJar(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string body;
  std::string directory;
  for (const auto& file : files) {
    // Plain references: older clang versions cannot capture structured bindings in a lambda.
    const std::string& name = file.first;
    const std::string& content = file.second;
    const bool deflated = name == "META-INF/MANIFEST.MF";
    const std::string data = deflated ? RawDeflate(content) : content;
    const auto crc = static_cast<std::uint32_t>(crc32(
        0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
    auto header = [&](std::string& out, bool central) {
      Le32(out, central ? 0x02014b50 : 0x04034b50);
      if (central) Le16(out, 20);  // made by
      Le16(out, 20);               // needed
      Le16(out, 0);                // flags
      Le16(out, deflated ? 8 : 0);
      Le32(out, 0);  // time and date
      Le32(out, crc);
      Le32(out, static_cast<std::uint32_t>(data.size()));
      Le32(out, static_cast<std::uint32_t>(content.size()));
      Le16(out, static_cast<unsigned>(name.size()));
      Le16(out, 0);  // extra
      if (central) {
        Le16(out, 0);  // comment
        Le16(out, 0);  // disk
        Le16(out, 0);  // internal attributes
        Le32(out, 0);  // external attributes
        Le32(out, static_cast<std::uint32_t>(body.size()));
      }
      out += name;
    };
    header(directory, true);
    header(body, false);
    body += data;
  }
  std::string end;
  Le32(end, 0x06054b50);
  Le32(end, 0);  // disks
  Le16(end, static_cast<unsigned>(files.size()));
  Le16(end, static_cast<unsigned>(files.size()));
  Le32(end, static_cast<std::uint32_t>(directory.size()));
  Le32(end, static_cast<std::uint32_t>(body.size()));
  Le16(end, 0);
  return body + directory + end;
}

std::optional<JarIndex> IndexOf(const std::string& jar, std::string* error) {
  return ReadJarIndex(
      [&jar](std::uint64_t offset, std::size_t length, std::string* out) {
        if (offset > jar.size() || jar.size() - offset < length) return false;
        *out = jar.substr(static_cast<std::size_t>(offset), length);
        return true;
      },
      jar.size(), error);
}

TEST(JarReaderTest, ListsTheNamesAndInflatesTheManifestAndRefusesDamage) {
  const std::string manifest =
      "Manifest-Version: 1.0\r\nmain-class: com.example.Ma\r\n in\r\nClass-Path: lib/a.jar  "
      "my%20lib/b.jar\r\n\r\nName: other\r\nMain-Class: not.This\r\n";
  const std::string jar = MakeJar({{"META-INF/MANIFEST.MF", manifest},
                                   {"com/example/Main.class", "class bytes"},
                                   {"com/example/", ""}});
  std::string error;
  std::optional<JarIndex> index = IndexOf(jar, &error);
  ASSERT_TRUE(index) << error;
  EXPECT_EQ(index->names.size(), 3u);
  EXPECT_EQ(index->names.count("com/example/Main.class"), 1u);
  ASSERT_TRUE(index->manifest);
  EXPECT_EQ(*index->manifest, manifest);
  // Continuation lines are joined, names are matched without case, only the main section
  // counts, and the Class-Path's URL escapes are decoded.
  const Manifest parsed = ParseManifest(*index->manifest);
  EXPECT_EQ(parsed.mainClass, "com.example.Main");
  EXPECT_EQ(parsed.classPath, (std::vector<std::string>{"lib/a.jar", "my lib/b.jar"}));

  // Every truncation, and a directory pointed past the end, is refused without a crash.
  for (std::size_t cut : {std::size_t{0}, std::size_t{10}, jar.size() - 30, jar.size() - 1}) {
    EXPECT_FALSE(IndexOf(jar.substr(0, cut), &error)) << cut;
  }
  std::string forged = jar;
  forged[forged.size() - 6] = '\x7F';  // the directory's offset
  EXPECT_FALSE(IndexOf(forged, &error));
  EXPECT_NE(error.find("outside the file"), std::string::npos) << error;
  std::string badData = jar;
  badData[30 + 20] ^= 0x55;  // inside the deflated manifest
  std::optional<JarIndex> damaged = IndexOf(badData, &error);
  EXPECT_TRUE(!damaged || damaged->manifest != manifest);

  // Every byte of the jar set to values that make lengths and offsets extreme: the reader must
  // refuse or read within bounds (the sanitizer builds catch any stray access).
  for (std::size_t at = 0; at < jar.size(); ++at) {
    for (char value : {'\x00', '\x7F', '\xFF'}) {
      std::string mutated = jar;
      mutated[at] = value;
      std::optional<JarIndex> result = IndexOf(mutated, &error);
      if (result && result->manifest) ParseManifest(*result->manifest);
    }
  }

  EXPECT_EQ(ClassEntryName("a.b.C"), "a/b/C.class");
  for (const char* bad : {"", ".a", "a.", "a..b", "a/b", "a b"}) EXPECT_EQ(ClassEntryName(bad), "");
}

// Builds launchers from the same folders in both forms and reads what they carry back.
class LaunchFilesTest : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    Write("app/app.jar",
          MakeJar({{"META-INF/MANIFEST.MF",
                    "Manifest-Version: 1.0\r\nMain-Class: com.example.Main\r\nClass-Path: "
                    "lib/dep.jar missing.jar\r\n"},
                   {"com/example/Main.class", "main"}}));
    Write("app/lib/dep.jar", MakeJar({{"com/example/Dep.class", "dep"}}));
    Write("app/extra.jar", MakeJar({{"com/example/Extra.class", "extra"}}));
    Write("app/data.txt", "data");
    Write("updater.jar", MakeJar({{"com/ferrolan/updater/Updater.class", "updater"},
                                  {"com/ferrolan/updater/CompatibilityCheck.class", "check"}}));
    Write("icon.png", Png());
  }

  static std::string Png() {
    std::string png("\x89PNG\r\n\x1a\n", 8);
    png += std::string("\0\0\0\x0dIHDR", 8) + std::string("\0\0\0\x30\0\0\0\x20", 8) +
           std::string("\x08\x06\0\0\0", 5) + "crc!";
    return png + std::string("\0\0\0\0IEND\xAE\x42\x60\x82", 12);
  }

  // A configuration with the updater jar and no updater folder; `app` is the app section's body.
  int BuildFromConfig(const std::string& app, const std::string& extra = "") {
    Write("app.json", R"({"app_name": "My-App", "install_type": "perm_user", "update_url": "D",
  "required_java_version": 11, "updater": {"version": "3"}, )" +
                          extra + R"("app": {"version": "4", "folder": "app")" + app + "}}\n");
    return Run({"--config", Path("app.json")});
  }

  int Run(std::vector<std::string> args) {
    args.insert(args.end(), {"-o", Path("out"), "--launcher", FERROLAN_EXE_PATH, "--updater-jar",
                             Path("updater.jar")});
    ::testing::internal::CaptureStderr();
    int code = RunBuild(args);
    errors_ = ::testing::internal::GetCapturedStderr();
    return code;
  }

  // The installed folder of a carried archive: extracted, then its launch file read with the
  // launcher's reader.
  launch::LaunchFile Installed(tail::TailEntry which, const std::string& folder) {
    std::string error;
    std::optional<LauncherContents> contents = ReadLauncherContents(Path("out"), &error);
    EXPECT_TRUE(contents) << error;
    if (!contents) return {};
    const std::string name = tail::TailEntryName(which, contents->fields, {});
    for (const TailEntryInfo& entry : contents->entries) {
      if (entry.path != name) continue;
      stdfs::create_directories(Path(folder));
      EXPECT_TRUE(ExtractCarriedArchive(Path("out"), entry.contentOffset,
                                        static_cast<std::uint64_t>(entry.length), nullptr,
                                        Path(folder), &error))
          << error;
    }
    fs::OwnedFile file = fs::OpenFile(Path(folder + "/FerrolanLaunch"), "rb");
    EXPECT_TRUE(file) << folder;
    return file ? launch::ReadLaunchFile(file.get()) : launch::LaunchFile{};
  }

  std::string errors_;
};

TEST_F(LaunchFilesTest, ConfigurationSettingsBecomeLaunchFilesTheLauncherReads) {
  ASSERT_EQ(BuildFromConfig(R"(, "main_class": "com.example.Main",
    "java_options": ["-Dx=1", "-Xss2m"], "arguments": ["--flag", "two words"],
    "max_heap_mb": 512, "initial_heap_mb": "64", "own_jvm": true)",
                            R"("icon": "icon.png", )"),
            kExitOk)
      << errors_;
  const launch::LaunchFile app = Installed(tail::TailEntry::kAppArchive, "installed-app");
  EXPECT_EQ(app.version, 6);
  EXPECT_EQ(app.mustFork, 1);
  EXPECT_EQ(app.mainClass, "com.example.Main");
  EXPECT_EQ(app.appName, "My-App");
  // Default classpath: every jar at the top of the folder, sorted; lib/ is not searched.
  EXPECT_EQ(app.classpath, (std::vector<std::string>{"app.jar", "extra.jar"}));
  EXPECT_EQ(app.appJvmOptions, (std::vector<std::string>{"-Dx=1", "-Xss2m"}));
  EXPECT_EQ(app.extraArguments, (std::vector<std::string>{"--flag", "two words"}));
  EXPECT_EQ(app.jvmMem, 512);
  EXPECT_EQ(app.jvmStack, 64);
  EXPECT_EQ(app.compatibilityClass, kCompatibilityClass);
  EXPECT_EQ(app.urlRequired, 0);
  // The icon as PNG and as an ICO whose one image is that PNG, 48 x 32, after a 22-byte header.
  const std::string ico = Read(Path("installed-app/FerrolanIcon.ico"));
  EXPECT_EQ(Read(Path("installed-app/FerrolanIcon.png")), Png());
  ASSERT_EQ(ico.size(), 22 + Png().size());
  EXPECT_EQ(ico.substr(0, 8), std::string("\0\0\1\0\1\0\x30\x20", 8));
  EXPECT_EQ(ico.substr(22), Png());
  // The vendor's folder is left as it was.
  EXPECT_FALSE(stdfs::exists(Path("app/FerrolanLaunch")));
  EXPECT_FALSE(stdfs::exists(Path("app/FerrolanIcon.png")));

  const launch::LaunchFile updater = Installed(tail::TailEntry::kUpdaterArchive, "installed-gu");
  EXPECT_EQ(updater.mainClass, kUpdaterMainClass);
  EXPECT_EQ(updater.appName, kUpdaterLaunchName);
  EXPECT_EQ(updater.classpath, (std::vector<std::string>{kUpdaterJarName}));
  EXPECT_EQ(updater.mustFork, 0);
  // The application asks for a machine of its own: the updater's keeps the defaults.
  EXPECT_TRUE(updater.appJvmOptions.empty());
  EXPECT_EQ(updater.jvmMem, 0);
  EXPECT_EQ(Read(Path("installed-gu/ferrolan-updater.jar")), Read(Path("updater.jar")));

  // Without lzma_exe, splash_image and cacerts: a placeholder the Windows subsystem patch
  // accepts, and empty entries, which the launcher does not install at all.
  std::string error;
  std::optional<LauncherContents> contents = ReadLauncherContents(Path("out"), &error);
  ASSERT_TRUE(contents) << error;
  const std::string file = Read(Path("out"));
  ASSERT_EQ(contents->entries[0].path, "lzma.exe");
  Write("carried-lzma.exe", file.substr(contents->entries[0].contentOffset,
                                        static_cast<std::size_t>(contents->entries[0].length)));
  EXPECT_EQ(fs::SetWindowsSubsystemByte(Path("carried-lzma.exe")), fs::SubsystemPatch::kPatched);
  EXPECT_EQ(Read(Path("carried-lzma.exe")), LzmaPlaceholder());  // already windowed
  EXPECT_EQ(contents->entries[1].length, 0);                     // nativesplash.png
  EXPECT_EQ(contents->entries[2].length, 0);                     // cacerts

  // inspect shows both launch files and the icon.
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(RunInspect({Path("out")}), kExitOk);
  const std::string shown = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(shown.find("main class       \"com.example.Main\""), std::string::npos) << shown;
  EXPECT_NE(shown.find("JVM options      \"-Dx=1\" \"-Xss2m\""), std::string::npos) << shown;
  EXPECT_NE(shown.find("max 512 MiB, initial 64 MiB"), std::string::npos) << shown;
  EXPECT_NE(shown.find("own JVM          yes"), std::string::npos) << shown;
  EXPECT_NE(shown.find("\"com.ferrolan.updater.Updater\""), std::string::npos) << shown;
  EXPECT_NE(shown.find("FerrolanIcon.png and FerrolanIcon.ico"), std::string::npos) << shown;
}

TEST_F(LaunchFilesTest, PublishCarriesTheSameLaunchFilesAsTheLauncher) {
  ASSERT_EQ(BuildFromConfig(R"(, "main_class": "com.example.Main", "arguments": ["a"])"), kExitOk)
      << errors_;
  ::testing::internal::CaptureStdout();
  const int code = RunPublish(
      {"--config", Path("app.json"), "-o", Path("site"), "--updater-jar", Path("updater.jar")});
  ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(code, kExitOk);
  for (const auto& [archive, mainClass] :
       {std::pair<std::string, std::string>{"Ferrolan-My-App-00000000004-archive.p2.l2",
                                            "com.example.Main"},
        {"Ferrolan-Ferrolan-00000000003-archive.p2.l2", kUpdaterMainClass}}) {
    const std::string folder = Path("from-" + archive);
    stdfs::create_directories(folder);
    std::string error;
    ASSERT_TRUE(ExtractCarriedArchive(Path("site/" + archive), 0,
                                      stdfs::file_size(Path("site/" + archive)), nullptr, folder,
                                      &error))
        << error;
    fs::OwnedFile file = fs::OpenFile(folder + "/FerrolanLaunch", "rb");
    ASSERT_TRUE(file) << archive;
    EXPECT_EQ(launch::ReadLaunchFile(file.get()).mainClass, mainClass);
  }
}

TEST_F(LaunchFilesTest, FlagsTakeTheManifestsMainClassAndClassPath) {
  ASSERT_EQ(Run({"--name", "Flag App", "--input", Path("app"), "--main-jar", "app.jar",
                 "--java-options", "-Da=1", "--java-options", "-Db=2", "--arguments", "x",
                 "--app-version", "2.1", "--own-jvm"}),
            kExitOk)
      << errors_;
  // The missing Class-Path entry is left out with a warning, as the JVM would pass it over.
  EXPECT_NE(errors_.find("\"missing.jar\""), std::string::npos) << errors_;
  const launch::LaunchFile app = Installed(tail::TailEntry::kAppArchive, "installed");
  EXPECT_EQ(app.mainClass, "com.example.Main");
  EXPECT_EQ(app.appName, "Flag App");
  EXPECT_EQ(app.classpath, (std::vector<std::string>{"app.jar", "lib/dep.jar", "extra.jar"}));
  EXPECT_EQ(app.appJvmOptions, (std::vector<std::string>{"-Da=1", "-Db=2"}));
  EXPECT_EQ(app.extraArguments, (std::vector<std::string>{"x"}));
  EXPECT_EQ(app.mustFork, 1);  // --own-jvm
  std::string error;
  std::optional<LauncherContents> contents = ReadLauncherContents(Path("out"), &error);
  ASSERT_TRUE(contents) << error;
  EXPECT_EQ(contents->fields.appVersion, "00200010000");
  EXPECT_EQ(contents->fields.installType, "perm_user");
  EXPECT_EQ(contents->fields.updateUrl, "D");
  EXPECT_EQ(contents->fields.jreVersion, "");  // no --runtime: an online build

  // --main-class wins over the manifest, and must be there too.
  ASSERT_EQ(Run({"--name", "Flag App", "--input", Path("app"), "--main-jar", "app.jar",
                 "--main-class", "com.example.Extra"}),
            kExitOk)
      << errors_;
  EXPECT_EQ(Installed(tail::TailEntry::kAppArchive, "installed2").mainClass, "com.example.Extra");
}

// The carried updater starts its virtual machine with the application's settings, so that the
// application can run in it.
TEST_F(LaunchFilesTest, TheCarriedUpdaterSharesTheApplicationsSettings) {
  ASSERT_EQ(Run({"--name", "Flag App", "--input", Path("app"), "--main-jar", "app.jar",
                 "--java-options", "-Xmx512m", "--java-options", "-Da=1"}),
            kExitOk)
      << errors_;
  const launch::LaunchFile app = Installed(tail::TailEntry::kAppArchive, "installed");
  const launch::LaunchFile updater = Installed(tail::TailEntry::kUpdaterArchive, "installed-gu");
  EXPECT_EQ(updater.mainClass, kUpdaterMainClass);
  EXPECT_EQ(updater.appJvmOptions, app.appJvmOptions);
  EXPECT_EQ(updater.appJvmOptions, (std::vector<std::string>{"-Xmx512m", "-Da=1"}));

  // An option only the "java" command takes stays the application's.
  ASSERT_EQ(Run({"--name", "Flag App", "--input", Path("app"), "--main-jar", "app.jar",
                 "--java-options", "-splash:splash.png"}),
            kExitOk)
      << errors_;
  EXPECT_TRUE(Installed(tail::TailEntry::kUpdaterArchive, "installed-gu2").appJvmOptions.empty());
}

TEST_F(LaunchFilesTest, RefusesWhatCouldNeverStartWithAMessageThatSaysWhy) {
  struct Case {
    std::vector<std::string> args;  // empty: the configuration below
    std::string app;
    std::string message;
  };
  Write("app.json", "{}");
  const Case cases[] = {
      {{},
       R"(, "main_class": "com.example.Nowhere")",
       "the main class com.example.Nowhere of \"app\" (com/example/Nowhere.class) is in none of "
       "its classpath entries: app.jar, extra.jar"},
      {{},
       R"(, "main_class": "com.example.Main", "classpath": ["app.jar", "gone.jar"])",
       "the classpath entry \"gone.jar\" of \"app\" does not exist"},
      {{},
       R"(, "main_class": "com.example.Main", "classpath": ["../updater.jar"])",
       "must be a path inside the installed folder"},
      {{},
       R"(, "main_class": "com.example.Main", "classpath": ["data.txt"])",
       "\"data.txt\" of \"app\" is not a readable jar"},
      {{}, R"(, "java_options": ["-Dx"])", "missing \"app.main_class\""},
      {{},
       R"(, "main_class": "com.example.Main", "own_jvm": 1)",
       "\"app.own_jvm\" must be true or false"},
      {{}, "", "has no FerrolanLaunch: declare \"app.main_class\""},
      {{"--name", "A", "--input", Path("app"), "--main-jar", "lib/dep.jar"},
       "",
       "names no Main-Class in its manifest: give --main-class"},
      {{"--name", "A", "--input", Path("app"), "--main-jar", "app.jar", "--main-class", "a.B"},
       "",
       "the main class a.B of \"app\""},
      {{"--name", "A", "--input", Path("app"), "--main-jar", "../updater.jar"},
       "",
       "must name a jar inside the --input folder"},
      {{"--name", "A", "--input", Path("app"), "--main-jar", "app.jar", "--app-version", "1.2.3.4"},
       "",
       "--app-version \"1.2.3.4\" must be 1 to 3 numbers"},
      {{"--name", "A?", "--input", Path("app"), "--main-jar", "app.jar"}, "", "plain name"},
      {{"--name", "A", "--input", Path("app"), "--main-jar", "app.jar", "--config", "x.json"},
       "",
       "--config cannot be combined"},
      {{"--name", "A", "--input", Path("app"), "--main-jar", "app.jar", "--icon", Path("app.json")},
       "",
       "is not a complete PNG file"},
  };
  for (const Case& c : cases) {
    const int code = c.args.empty() ? BuildFromConfig(c.app) : Run(c.args);
    EXPECT_EQ(code, kExitUsage) << c.message;
    EXPECT_NE(errors_.find(c.message), std::string::npos) << "expected: " << c.message << "\n"
                                                          << errors_;
  }
  EXPECT_FALSE(stdfs::exists(Path("out")));
}

TEST_F(LaunchFilesTest, AnExistingLaunchFileIsKeptOrRefusedButNeverReplaced) {
  Write("app/FerrolanLaunch", "the vendor's own");
  // Without launch settings the folder's own file is carried as before.
  ASSERT_EQ(BuildFromConfig(""), kExitOk) << errors_;
  stdfs::create_directories(Path("kept"));
  std::string error;
  std::optional<LauncherContents> contents = ReadLauncherContents(Path("out"), &error);
  ASSERT_TRUE(contents) << error;
  const std::string name = tail::TailEntryName(tail::TailEntry::kAppArchive, contents->fields, {});
  for (const TailEntryInfo& entry : contents->entries) {
    if (entry.path == name) {
      ASSERT_TRUE(ExtractCarriedArchive(Path("out"), entry.contentOffset,
                                        static_cast<std::uint64_t>(entry.length), nullptr,
                                        Path("kept"), &error));
    }
  }
  EXPECT_EQ(Read(Path("kept/FerrolanLaunch")), "the vendor's own");
  // With launch settings as well, the build is refused rather than guessing which one counts.
  EXPECT_EQ(BuildFromConfig(R"(, "main_class": "com.example.Main")"), kExitUsage);
  EXPECT_NE(errors_.find("already holds a FerrolanLaunch"), std::string::npos) << errors_;
  EXPECT_EQ(Read(Path("app/FerrolanLaunch")), "the vendor's own");
}

}  // namespace
}  // namespace ferrolan::pack
