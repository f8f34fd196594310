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
#include <vector>

#include "archive/archive_writer.h"
#include "archive/entry_format.h"
#include "archive/testdata/test_signing_key.h"
#include "lzma_encoder.h"
#include "payload_writer.h"
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
  DecoderSeeds(*key);
  stdfs::remove_all(gOutput / "work", ignored);
  return 0;
}
