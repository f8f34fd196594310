// Authenticode for packaged Windows launchers: the certificate table writer (alignment, data
// directory, checksum) checked by osslsigncode's own verification, sign and stamp keeping the
// signature valid, and the refusals. Certificates are made with openssl in the test's folder.
// The Windows build of the packager cannot sign, so there only the refusals and the
// table's encoding are tested.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "log/log.h"
#include "pack/cli/cli.h"
#include "pack/commands.h"
#include "pack/format/authenticode.h"
#include "pack/format/payload_reader.h"
#include "pack/format/payload_writer.h"
#include "pack/format/pe_file.h"
#include "pack/format/signed_launcher.h"
#include "process/spawner.h"
#include "tail/markers.h"
#include "testing/files.h"
#include "testing/temp_folder.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

void Put16(std::string& bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<char>(value & 0xff);
  bytes[at + 1] = static_cast<char>(value >> 8);
}
void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xff);
}
std::uint32_t Get32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// The smallest PE32+ image a signing tool accepts: headers in the first 512 bytes, one code
// section of 512 bytes.
std::string MinimalPe() {
  std::string pe(0x400, '\0');
  pe[0] = 'M';
  pe[1] = 'Z';
  Put32(pe, 0x3c, 0x40);
  pe.replace(0x40, 4, std::string("PE\0\0", 4));
  Put16(pe, 0x44, 0x8664);  // x86-64
  Put16(pe, 0x46, 1);       // one section
  Put16(pe, 0x54, 0xf0);    // optional header size
  Put16(pe, 0x56, 0x22);    // executable, large-address aware
  const std::size_t opt = 0x58;
  Put16(pe, opt, 0x20b);
  Put32(pe, opt + 4, 0x200);      // size of code
  Put32(pe, opt + 16, 0x1000);    // entry point
  Put32(pe, opt + 20, 0x1000);    // base of code
  Put32(pe, opt + 28, 0x1);       // image base 0x140000000 (high half)
  Put32(pe, opt + 32, 0x1000);    // section alignment
  Put32(pe, opt + 36, 0x200);     // file alignment
  Put16(pe, opt + 40, 6);         // OS version
  Put16(pe, opt + 48, 6);         // subsystem version
  Put32(pe, opt + 56, 0x2000);    // size of image
  Put32(pe, opt + 60, 0x200);     // size of headers
  Put16(pe, opt + 68, 3);         // console
  Put32(pe, opt + 72, 0x100000);  // stack reserve
  Put32(pe, opt + 80, 0x1000);    // stack commit
  Put32(pe, opt + 88, 0x100000);  // heap reserve
  Put32(pe, opt + 96, 0x1000);    // heap commit
  Put32(pe, opt + 108, 16);       // data directories
  const std::size_t section = opt + 0xf0;
  pe.replace(section, 5, ".text");
  Put32(pe, section + 8, 0x200);
  Put32(pe, section + 12, 0x1000);
  Put32(pe, section + 16, 0x200);
  Put32(pe, section + 20, 0x200);
  Put32(pe, section + 36, 0x60000020);
  for (std::size_t i = 0x200; i < 0x400; ++i) pe[i] = '\xc3';
  return pe;
}

// The launcher's own search quirk: a mismatch starts over without testing that byte again.
std::int64_t QuirkyMatcherEnd(const std::string& file, const std::string& marker) {
  std::size_t index = 0;
  for (std::size_t i = 0; i < file.size(); ++i) {
    index = (file[i] == marker[index]) ? index + 1 : 0;
    if (index == marker.size()) return static_cast<std::int64_t>(i + 1);
  }
  return -1;
}

class SigningTest : public testing::TempFolderTest {
 protected:
  bool CanSign() const {
    std::string reason;
    return CanHandleSignatures(&reason) && RunSigningTool({"--version"}).exitCode == 0;
  }

  // A self-signed code-signing certificate and its key (EC P-256: quick to make).
  void MakeCertificate() {
    log::SetConsoleEnabled(false);
    process::Spawner openssl = process::SpawnerCreate();
    process::SpawnerSetExe(openssl, "openssl");
    for (const char* argument :
         {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
          "-days", "2", "-subj", "/CN=Example Vendor/O=Example"}) {
      process::SpawnerAppend(openssl, argument);
    }
    for (const std::string& argument :
         {std::string("-keyout"), Path("key.pem"), std::string("-out"), Path("cert.pem")}) {
      process::SpawnerAppend(openssl, argument);
    }
    std::string output;
    const int code = process::runSpawnerAndWaitQuietly(openssl, output);
    log::SetConsoleEnabled(true);
    ASSERT_EQ(code, 0) << output;
  }

  // osslsigncode's verdict on `file`: its output when it fails, empty when it passes.
  std::string VerifyProblem(const std::string& file) const {
    SigningToolRun run = RunSigningTool({"verify", "-in", file, "-CAfile", Path("cert.pem")});
    if (run.exitCode != 0) return "failed: " + run.output;
    if (run.output.find("invalid PE checksum") != std::string::npos) return run.output;
    return {};
  }

  // A packaged launcher on the minimal image, its Params appended as "build" writes them.
  std::string PackagedLauncher(const std::vector<Param>& params) {
    WriteFile(root_ / "image.exe", MinimalPe());
    WriteFile(root_ / "content", std::string(3000, 'c'));
    LauncherPayload payload;
    payload.imagePath = Path("image.exe");
    payload.fields.appName = "Demo";
    payload.fields.guVersion = "00000000002";
    payload.entries = {{"a", Path("content")},
                       {"b", Path("content")},
                       {"c", Path("content")},
                       {"d", Path("content")},
                       {"e", Path("content")}};
    payload.params = params;
    std::string error;
    EXPECT_TRUE(WriteLauncherFile(payload, Path("app.exe"), &error)) << error;
    return Path("app.exe");
  }

  std::vector<Param> ParamsOf(const std::string& file) const {
    std::string error;
    std::optional<ParamsSection> section = ReadParamsSection(file, &error);
    EXPECT_TRUE(section) << error;
    return section ? section->params : std::vector<Param>();
  }
};

TEST_F(SigningTest, CertificateTableIsPaddedToEightBytesWithZeros) {
  for (std::size_t length = 0; length < 20; ++length) {
    std::vector<std::uint8_t> der(length, 0xab);
    std::vector<std::uint8_t> table = EncodeCertificateTable(der);
    EXPECT_EQ(table.size() % 8, 0u);
    EXPECT_GE(table.size(), length + 8);
    EXPECT_LT(table.size(), length + 16);
    const std::string bytes(table.begin(), table.end());
    EXPECT_EQ(Get32(bytes, 0), table.size());  // the length counts the padding
    EXPECT_EQ(Get32(bytes, 4), 0x00020200u);   // revision 2.0, PKCS_SIGNED_DATA
    for (std::size_t i = 8 + length; i < table.size(); ++i) EXPECT_EQ(table[i], 0) << i;
    std::string error;
    std::optional<std::vector<std::uint8_t>> content = CertificateTableContent(table, &error);
    ASSERT_TRUE(content) << error;
    EXPECT_EQ(content->size(), table.size() - 8);  // the DER reader stops at its own end
    EXPECT_TRUE(std::equal(der.begin(), der.end(), content->begin()));
  }
  std::string error;
  std::vector<std::uint8_t> truncated = EncodeCertificateTable(std::vector<std::uint8_t>(9));
  truncated.resize(12);
  EXPECT_FALSE(CertificateTableContent(truncated, &error));
}

TEST_F(SigningTest, ChecksumAndTableWritingPassTheSigningToolsVerification) {
  if (!CanSign()) GTEST_SKIP() << "this build cannot sign";
  MakeCertificate();
  WriteFile(root_ / "plain.exe", MinimalPe() + "odd payload");
  SigningToolRun run =
      RunSigningTool({"sign", "-h", "sha256", "-certs", Path("cert.pem"), "-key", Path("key.pem"),
                      "-in", Path("plain.exe"), "-out", Path("signed.exe")});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  std::string error;
  std::optional<PeLayout> layout = ReadPeLayout(Path("signed.exe"), &error);
  ASSERT_TRUE(layout) << error;
  ASSERT_TRUE(layout->signedFile());
  const std::string signedBytes = ReadFile(root_ / "signed.exe");
  // The tool's checksum is ours.
  EXPECT_EQ(
      PeChecksum({reinterpret_cast<const std::uint8_t*>(signedBytes.data()), signedBytes.size()},
                 layout->checksumOffset),
      Get32(signedBytes, static_cast<std::size_t>(layout->checksumOffset)));

  // Params of every length modulo 8 give every amount of padding; each file verifies.
  std::optional<LauncherSignature> signature = ReadLauncherSignature(Path("signed.exe"), &error);
  ASSERT_TRUE(signature) << error;
  for (std::size_t extra = 0; extra < 9; ++extra) {
    SCOPED_TRACE(extra);
    const std::string out = Path("stamped" + std::to_string(extra) + ".exe");
    ASSERT_TRUE(WriteSignedParams(Path("signed.exe"), *signature, {{"k", std::string(extra, 'v')}},
                                  out, &error))
        << error;
    EXPECT_EQ(VerifyProblem(out), "");
    const std::string bytes = ReadFile(out);
    std::optional<PeLayout> written = ReadPeLayout(out, &error);
    ASSERT_TRUE(written) << error;
    EXPECT_EQ(written->certificateTableOffset, layout->certificateTableOffset);
    EXPECT_EQ(written->certificateTableOffset + written->certificateTableSize, bytes.size());
    EXPECT_EQ(written->certificateTableSize % 8, 0u);
    EXPECT_EQ(Get32(bytes, written->certificateTableOffset), written->certificateTableSize);
    EXPECT_EQ(ParamsOf(out), (std::vector<Param>{{"k", std::string(extra, 'v')}}));
  }
}

TEST_F(SigningTest, SignedLauncherStaysValidThroughRestampsAndCatchesChangedPayload) {
  if (!CanSign()) GTEST_SKIP() << "this build cannot sign";
  MakeCertificate();
  const std::vector<Param> built = {{"jre_name", "jre17"}, {"greeting", "hello"}};
  const std::string app = PackagedLauncher(built);
  std::string error;
  std::optional<LauncherContents> before = ReadLauncherContents(app, &error);
  ASSERT_TRUE(before) << error;

  ASSERT_EQ(RunPack({"sign", app, "--cert", Path("cert.pem"), "--key", Path("key.pem"), "-o",
                     Path("signed.exe")}),
            kExitOk);
  EXPECT_EQ(VerifyProblem(Path("signed.exe")), "");
  std::optional<PeLayout> layout = ReadPeLayout(Path("signed.exe"), &error);
  ASSERT_TRUE(layout) << error;
  // The old section went: the first Params a launcher finds are in the signature, the same
  // ones, and a search with the launcher's quirk finds them at the same place.
  std::optional<ParamsSection> section = ReadParamsSection(Path("signed.exe"), &error);
  ASSERT_TRUE(section) << error;
  EXPECT_EQ(section->params, built);
  EXPECT_EQ(PlaceOfParams(*layout, section->markerOffset), ParamsPlace::kInsideSignature);
  std::string signedBytes = ReadFile(root_ / "signed.exe");
  const std::string marker(tail::ParamsMarker().begin(), tail::ParamsMarker().end());
  EXPECT_EQ(QuirkyMatcherEnd(signedBytes, marker),
            static_cast<std::int64_t>(section->markerOffset + marker.size()));
  // Apart from the two header fields no signature covers, the signed range is the payload
  // as built, up to its last entry.
  const auto unsignedFields = [&](std::string bytes) {
    bytes.replace(static_cast<std::size_t>(layout->checksumOffset), 4, 4, '\0');
    bytes.replace(static_cast<std::size_t>(layout->securityEntryOffset), 8, 8, '\0');
    return bytes;
  };
  EXPECT_TRUE(unsignedFields(signedBytes.substr(0, before->entriesEnd)) ==
              unsignedFields(ReadFile(app).substr(0, before->entriesEnd)));

  // Two stamps of different lengths, in place: the signed range never changes.
  const std::string prefix = signedBytes.substr(0, layout->certificateTableOffset);
  for (const std::string& value : {std::string(5000, 'x'), std::string("short")}) {
    ASSERT_EQ(RunPack({"stamp", Path("signed.exe"), "--set", "greeting=" + value, "--set",
                       "update_url=http://127.0.0.1/u"}),
              kExitOk);
    EXPECT_EQ(VerifyProblem(Path("signed.exe")), "");
    const std::vector<Param> expected = {
        {"jre_name", "jre17"}, {"greeting", value}, {"update_url", "http://127.0.0.1/u"}};
    EXPECT_EQ(ParamsOf(Path("signed.exe")), expected);
    const std::string now = ReadFile(root_ / "signed.exe");
    EXPECT_TRUE(unsignedFields(now.substr(0, prefix.size())) == unsignedFields(prefix));
    signedBytes = now;
  }

  // A changed byte in a tail field or in an entry lies inside the signed range.
  for (std::uint64_t at : {before->tailMarkerOffset + 130, before->entries[3].contentOffset + 10}) {
    std::string changed = signedBytes;
    changed[static_cast<std::size_t>(at)] ^= 0x01;
    WriteFile(root_ / "changed.exe", changed);
    EXPECT_NE(VerifyProblem(Path("changed.exe")), "") << "offset " << at;
  }
}

TEST_F(SigningTest, InspectReportsParamsAppendedAfterTheSignature) {
  if (!CanSign()) GTEST_SKIP() << "this build cannot sign";
  MakeCertificate();
  const std::string app = PackagedLauncher({{"jre_name", "jre17"}});
  ASSERT_EQ(RunPack({"sign", app, "--cert", Path("cert.pem"), "--key", Path("key.pem")}), kExitOk);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(RunPack({"inspect", app, "--ca", Path("cert.pem")}), kExitOk);
  std::string shown = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(shown.find("signed by  /CN=Example Vendor/O=Example"), std::string::npos) << shown;
  EXPECT_NE(shown.find("verifies   yes"), std::string::npos) << shown;
  EXPECT_NE(shown.find("inside the signature"), std::string::npos) << shown;

  // A launcher signed by the tool alone, with its Params appended afterwards the old way.
  std::string error;
  std::optional<LauncherContents> contents = ReadLauncherContents(app, &error);
  ASSERT_TRUE(contents) << error;
  std::optional<PeLayout> layout = ReadPeLayout(app, &error);
  ASSERT_TRUE(layout) << error;
  ASSERT_TRUE(
      WriteWithoutCertificateTable(app, *layout, contents->entriesEnd, Path("bare.exe"), &error))
      << error;
  ASSERT_EQ(RunSigningTool({"sign", "-certs", Path("cert.pem"), "-key", Path("key.pem"), "-in",
                            Path("bare.exe"), "-out", Path("old.exe")})
                .exitCode,
            0);
  const std::string marker(tail::ParamsMarker().begin(), tail::ParamsMarker().end());
  WriteFile(root_ / "old.exe", ReadFile(root_ / "old.exe") + '\0' + marker +
                                   EncodeParamsSection({{"jre_name", "old"}}));
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(RunPack({"inspect", Path("old.exe"), "--ca", Path("cert.pem")}), kExitFailed);
  shown = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(shown.find("not verifying: Params appended after the signature"), std::string::npos)
      << shown;
  EXPECT_NE(shown.find("appended after the signature"), std::string::npos) << shown;

  // A stamp takes them into the signature, which then verifies again.
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(RunPack({"stamp", Path("old.exe"), "--set", "x=1"}), kExitOk);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(VerifyProblem(Path("old.exe")), "");
  EXPECT_EQ(ParamsOf(Path("old.exe")), (std::vector<Param>{{"jre_name", "old"}, {"x", "1"}}));
}

TEST_F(SigningTest, RefusalsSayWhy) {
  const auto stderrOf = [](const std::vector<std::string>& args, int expectedCode) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunPack(args), expectedCode);
    return ::testing::internal::GetCapturedStderr();
  };
  WriteFile(root_ / "linux-launcher", std::string("\x7f"
                                                  "ELF",
                                                  4) +
                                          std::string(100, '\0'));
  EXPECT_NE(stderrOf({"sign", Path("linux-launcher"), "--cert", "c", "--key", "k"}, kExitFailed)
                .find("Windows launchers only"),
            std::string::npos);
  EXPECT_NE(stderrOf({"sign", Path("linux-launcher")}, kExitUsage).find("--cert"),
            std::string::npos);

  const std::string app = PackagedLauncher({{"jre_name", "jre17"}});
  if (!CanSign()) {
    EXPECT_NE(stderrOf({"sign", app, "--cert", "c", "--key", "k"}, kExitFailed)
                  .find("cannot sign launchers"),
              std::string::npos);
    return;
  }
  // Signed by the tool alone, the appended Params lie in the signed range: no stamp can
  // change what a launcher reads first.
  MakeCertificate();
  ASSERT_EQ(RunSigningTool({"sign", "-certs", Path("cert.pem"), "-key", Path("key.pem"), "-in", app,
                            "-out", Path("covered.exe")})
                .exitCode,
            0);
  EXPECT_NE(stderrOf({"stamp", Path("covered.exe"), "--set", "a=b"}, kExitFailed)
                .find("inside the signed range"),
            std::string::npos);
  EXPECT_NE(
      stderrOf({"sign", app, "--cert", Path("missing.pem"), "--key", Path("key.pem")}, kExitFailed)
          .find("osslsigncode failed"),
      std::string::npos);
}

}  // namespace
}  // namespace ferrolan::pack
