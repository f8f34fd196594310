// Writes the fuzzers' seed corpora: valid inputs made with the project's own writers (the
// archive writer and signer, the packager's LZMA encoder, Params encoder and launcher writer, and
// the tests' builders of tail fields and launch files), one folder per harness. The build runs it,
// so no seed is kept in the repository as a binary file.
//   ferrolan_fuzz_seeds OUTPUT_FOLDER
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive_writer.h"
#include "archive/entry_format.h"
#include "archive/testdata/test_signing_key.h"
#include "pack/archive/lzma_encoder.h"
#include "pack/format/payload_writer.h"
#include "splash/testdata/small_png.h"
#include "tail/markers.h"
#include "tail/payload_layout.h"
#include "testing/tail_builder.h"

namespace {

namespace stdfs = std::filesystem;
using namespace ferrolan;

stdfs::path gOutput;

void Seed(const std::string& harness, const std::string& name, const std::string& bytes) {
  stdfs::create_directories(gOutput / harness);
  std::ofstream(gOutput / harness / name, std::ios::binary) << bytes;
}

template <typename Fill>
std::string Archive(Fill fill, const archive::SigningKey* key) {
  std::string bytes;
  archive::ArchiveWriter writer([&bytes](const void* data, std::size_t length) {
    bytes.append(static_cast<const char*>(data), length);
    return true;
  });
  fill(writer);
  if (!writer.Finish(key)) {
    std::cerr << "ferrolan_fuzz_seeds: the archive writer failed\n";
    std::exit(1);
  }
  return bytes;
}

std::string Compressed(const std::string& data, pack::LzmaFormat format) {
  std::string out;
  pack::LzmaEncoder encoder(
      data.size(),
      [&out](const std::uint8_t* bytes, std::size_t length) {
        out.append(reinterpret_cast<const char*>(bytes), length);
        return true;
      },
      format);
  if (!encoder.Write(data.data(), data.size()) || !encoder.Finish()) {
    std::cerr << "ferrolan_fuzz_seeds: " << encoder.error() << "\n";
    std::exit(1);
  }
  return out;
}

// A small application: folders, plain files, a program, a packed entry.
void FillApp(archive::ArchiveWriter& w) {
  w.AddFolder("lib");
  w.AddFile("lib/app.jar", std::string(3000, 'j'));
  w.AddFile("lib/pack.jar", "packed-bytes", archive::EntryType::kPack200);
  w.AddFolder("bin");
  w.AddFile("bin/run", "#!/bin/sh\necho run\n");
  w.AddFile("launch.txt", "");
}

std::string WriteTemp(const std::string& name, const std::string& bytes) {
  stdfs::path path = gOutput / "work" / name;
  stdfs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
  return path.string();
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void ArchiveSeeds(const archive::SigningKey& key) {
  const std::string app = Archive(FillApp, nullptr);
  const std::string signedApp = Archive(FillApp, &key);
  const std::string nestedUnsigned = Compressed(app, pack::LzmaFormat::kLegacy);
  const std::string nestedSigned = Compressed(signedApp, pack::LzmaFormat::kXzBlocks);
  const std::string outer = Archive(
      [&](archive::ArchiveWriter& w) {
        w.AddFile("readme.txt", "outer");
        w.AddFile("Ferrolan-App-00000000001-archive.p2.l2", nestedUnsigned);
      },
      nullptr);
  const std::string outerForSigned = Archive(
      [&](archive::ArchiveWriter& w) {
        w.AddFolder("jre");
        w.AddFile("jre/Ferrolan-jre-00000000001-archive.p2.l2", nestedSigned);
      },
      nullptr);
  // Entries the writer refuses to make: an unsafe path and a bad length, written by hand.
  const std::string unsafe = archive::EncodeEntryHeader(archive::EntryType::kFile, "a", 1) + "x" +
                             std::string("0\0../escape\0", 12) + "3" + '\0' + "abc";
  const std::string badLength = std::string("0\0file\0-5\0", 10) + "abc";

  Seed("unarchiver", "app", app);
  Seed("unarchiver", "nested", outer);
  Seed("unarchiver", "signed", signedApp);
  Seed("unarchiver", "unsafe", unsafe);
  Seed("unarchiver", "bad_length", badLength);
  // The signed harness signs whatever it is given: its seeds are entry streams without a block.
  Seed("unarchiver_signed", "app", app);
  Seed("unarchiver_signed", "nested", outerForSigned);
  Seed("unarchiver_signed", "unsafe", unsafe);
}

void TailSeeds() {
  const std::string updater = Archive(
      [](archive::ArchiveWriter& w) {
        w.AddFolder("bin");
        w.AddFile("bin/updater.jar", std::string(500, 'u'));
      },
      nullptr);
  const std::string app = Archive(FillApp, nullptr);

  pack::LauncherPayload payload;
  payload.imagePath = WriteTemp("image.exe", "MZ" + std::string(200, '\x90'));
  payload.fields.appName = "Demo App";
  payload.fields.appVersion = "00000000007";
  payload.fields.guVersion = "00000000042";
  payload.fields.minSplashMs = "700";
  payload.fields.canOverrideSplash = "1";
  payload.fields.installType = "perm_user";
  payload.fields.silentParameter = "/S";
  payload.fields.requiredJavaVersion = "11";
  payload.fields.updateUrl = "D";
  payload.entries = {
      {tail::kLzmaFileName, WriteTemp("lzma.exe", "MZ-lzma")},
      {tail::kSplashFileName, WriteTemp("splash.png", "\x89PNG\r\n")},
      {tail::kCacertsFileName, WriteTemp("cacerts", "certs")},
      {tail::ArchiveName(tail::kUpdaterName, "00000000042"),
       WriteTemp("updater.p2.l2", Compressed(updater, pack::LzmaFormat::kXzBlocks))},
      {tail::VersionFileName(tail::kUpdaterName), WriteTemp("gu-version", "00000000042")},
      {tail::ArchiveName("Demo App_offline_flwin", "00000000007"),
       WriteTemp("app.p2.l2", Compressed(app, pack::LzmaFormat::kLegacy))},
      {tail::VersionFileName("Demo App"), WriteTemp("app-version", "00000000007")},
  };
  payload.params = {{"jre_name", "jre-17"}, {"update_url", "http://127.0.0.1/u/"}};
  std::string error;
  const std::string launcher = (gOutput / "work" / "launcher.bin").string();
  if (!pack::WriteLauncherFile(payload, launcher, &error)) {
    std::cerr << "ferrolan_fuzz_seeds: " << error << "\n";
    std::exit(1);
  }
  Seed("tail_reader", "offline", ReadAll(launcher));
  testing::LauncherLayout layout;
  Seed("tail_reader", "layout", layout.Build());
  layout.fields[3] = "";  // no updater: a bare launcher
  Seed("tail_reader", "bare", layout.Build());
}

void ParamsSeeds() {
  // The harness puts the marker in front itself.
  Seed("params", "typical",
       pack::EncodeParamsSection({{"jre_name", "jre-17"},
                                  {"update_url", "http://127.0.0.1/u/"},
                                  {"show_no_ui", "true"},
                                  {"force_spawn", "false"},
                                  {"splash_buffer", "12"},
                                  {"wrapper_autotest", ""},
                                  {"windows_app_id", "Vendor.Demo"}}));
  Seed("params", "splash", pack::EncodeParamsSection({{"splash_image", "iVBORw0KGgo="}}));
  std::vector<pack::Param> large;
  for (char c : {'a', 'b', 'c'})
    large.emplace_back(std::string("key_") + c, std::string(185000, c));
  Seed("params", "large_values", pack::EncodeParamsSection(large));
}

void LaunchSeeds() {
  for (int version = 1; version <= 6; ++version) {
    testing::LaunchFileContents launch;
    launch.version = version;
    launch.jvmMem = 512;
    launch.classpath = {"lib/app.jar", "lib/dep.jar"};
    launch.extraArguments = {"--flag"};
    launch.appJvmOptions = {"-Dx=y"};
    Seed("launch_file", "version" + std::to_string(version), launch.Bytes());
  }
  Seed("lso", "options", testing::Fields({"3", "-Xmx1g", "-Dsun.java2d.d3d=false", "-Xss2m"}));
  Seed("lso", "short", testing::Fields({"5", "-Xmx1g"}));
}

// `bytes` little-endian bytes of `value`; beyond its eight bytes, zeros (a run of zero fields).
void PutLe(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out.push_back(i < 8 ? static_cast<char>((value >> (8 * i)) & 0xFF) : '\0');
}

// A jar of stored entries, the manifest first, with its central directory and end record.
std::string StoredJar(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string body;
  std::string directory;
  for (const auto& file : files) {
    // Plain references: older clang versions cannot capture structured bindings in a lambda.
    const std::string& name = file.first;
    const std::string& content = file.second;
    auto header = [&](std::string& out, bool central) {
      PutLe(out, central ? 0x02014b50 : 0x04034b50, 4);
      if (central) PutLe(out, 20, 2);
      PutLe(out, 20, 2);
      PutLe(out, 0, 2 + 2 + 4 + 4);  // flags, method (stored), time and date, crc (unchecked)
      PutLe(out, content.size(), 4);
      PutLe(out, content.size(), 4);
      PutLe(out, name.size(), 2);
      PutLe(out, 0, 2);
      if (central) {
        PutLe(out, 0, 2 + 2 + 2 + 4);
        PutLe(out, body.size(), 4);
      }
      out += name;
    };
    header(directory, true);
    header(body, false);
    body += content;
  }
  std::string end;
  PutLe(end, 0x06054b50, 4);
  PutLe(end, 0, 4);
  PutLe(end, files.size(), 2);
  PutLe(end, files.size(), 2);
  PutLe(end, directory.size(), 4);
  PutLe(end, body.size(), 4);
  PutLe(end, 0, 2);
  return body + directory + end;
}

void JarSeeds() {
  Seed("jar_reader", "manifest",
       StoredJar({{"META-INF/MANIFEST.MF",
                   "Manifest-Version: 1.0\r\nMain-Class: com.example.Ma\r\n in\r\nClass-Path: "
                   "lib/a.jar b%20c.jar\r\n\r\n"},
                  {"com/example/Main.class", "class"}}));
  Seed("jar_reader", "no_manifest", StoredJar({{"a/B.class", "b"}, {"a/", ""}}));
  Seed("jar_reader", "empty", StoredJar({}));
}

void DecoderSeeds(const archive::SigningKey& key) {
  Seed("base64", "padded",
       "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+"
       "M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==");
  Seed("base64", "one", "QQ==");
  Seed("base64", "unaligned", "QUJD=");
  Seed("hex", "public_key", std::string(1, '\xFF') + key.PublicHex());
  Seed("hex", "short_output", std::string(1, '\x03') + "0a1B2c3D");
  Seed("hex", "odd", std::string(1, '\xFF') + "abc");
  Seed("png", "small", splash::testdata::kSmallPng);
  // The same image declaring 20000 x 20000 pixels in its header.
  std::string huge = splash::testdata::kSmallPng;
  huge.replace(16, 8, std::string("\x00\x00\x4e\x20\x00\x00\x4e\x20", 8));
  Seed("png", "huge", huge);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: ferrolan_fuzz_seeds OUTPUT_FOLDER\n";
    return 2;
  }
  gOutput = argv[1];
  std::error_code ignored;
  stdfs::remove_all(gOutput, ignored);
  auto key = archive::SigningKey::FromPrivateHex(archive::testdata::kTestPrivateKeyHex);
  if (!key) return 1;
  ArchiveSeeds(*key);
  TailSeeds();
  ParamsSeeds();
  LaunchSeeds();
  JarSeeds();
  DecoderSeeds(*key);
  stdfs::remove_all(gOutput / "work", ignored);
  return 0;
}
