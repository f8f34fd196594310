#include "pack/commands.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "archive/signature.h"
#include "pack/cli/cli.h"
#include "pack/format/key_files.h"
#include "testing/files.h"
#include "testing/temp_folder.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;

constexpr auto ReadAll = &testing::ReadFile;

// A fresh folder per test: ctest runs the tests of this binary in parallel processes.
class CommandsTest : public testing::TempFolderTest {
 protected:
  void SetUp() override { testing::WriteFile(dir_ / "in" / "sub" / "a.txt", "abc"); }
  std::string P(const std::string& name) const { return (dir_ / name).string(); }

  const stdfs::path& dir_ = root_;
};

TEST_F(CommandsTest, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"bogus"},
      {"keygen"},                                   // no -o
      {"keygen", "-o"},                             // -o without a value
      {"keygen", "-o", P("k"), "extra"},            // surplus argument
      {"keygen", "-o", P("k"), "--bits", "1024"},   // too small for the signature scheme
      {"keygen", "-o", P("k"), "--bits", "4096x"},  // not a number
      {"keygen", "-o", P("k"), "--colour"},         // unknown option
      {"archive"},                                  // no folder
      {"archive", P("in")},                         // no -o
      {"archive", P("in"), P("in2"), "-o", P("x.p2.l2")},
      {"archive", P("missing"), "-o", P("x.p2.l2")},
      {"archive", P("in/sub/a.txt"), "-o", P("x.p2.l2")},  // a file, not a folder
      {"archive", P("in"), "-o", P("in/sub/x.p2.l2")},     // output inside the packed folder
      {"archive", P("in"), "-o", P("x.p2.l2"), "--key"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    EXPECT_EQ(RunPack(args), kExitUsage) << shown;
  }
  // Nothing was written by any of them.
  EXPECT_FALSE(stdfs::exists(P("k.private.der")));
  EXPECT_FALSE(stdfs::exists(P("x.p2.l2")));
  EXPECT_FALSE(stdfs::exists(P("in/sub/x.p2.l2")));
}

TEST_F(CommandsTest, HelpExitsWithZeroEverywhere) {
  EXPECT_EQ(RunPack({"--help"}), kExitOk);
  EXPECT_EQ(RunPack({"help"}), kExitOk);
  EXPECT_EQ(RunPack({"keygen", "--help"}), kExitOk);
  EXPECT_EQ(RunPack({"archive", "-h"}), kExitOk);
  // Help wins over missing arguments, but not over a malformed command line.
  EXPECT_EQ(RunPack({"archive", "--help", "--bogus"}), kExitUsage);
}

TEST_F(CommandsTest, ArchiveFailsOnUnusableKeysAndNames) {
  EXPECT_EQ(RunPack({"archive", P("in"), "-o", P("x.p2.l2"), "--key", P("absent.der")}),
            kExitFailed);
  std::ofstream(P("garbage.der"), std::ios::binary) << "not a key at all";
  EXPECT_EQ(RunPack({"archive", P("in"), "-o", P("x.p2.l2"), "--key", P("garbage.der")}),
            kExitFailed);
  EXPECT_FALSE(stdfs::exists(P("x.p2.l2")));

  // A top-level name with the special-block prefix would end the archive early when read.
  std::ofstream(dir_ / "in" / "flArcSpBlock_DigitalSignature1", std::ios::binary) << "x";
  EXPECT_EQ(RunPack({"archive", P("in"), "-o", P("x.p2.l2")}), kExitFailed);
  EXPECT_FALSE(stdfs::exists(P("x.p2.l2")));
  EXPECT_FALSE(stdfs::exists(P("x.p2.l2.entries.tmp")));
}

bool IsUpperHex(const std::string& text) {
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c)) ||
        std::islower(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return true;
}

TEST_F(CommandsTest, KeygenWritesTheThreeKeyFilesAndKeepsExistingOnes) {
  const std::string name = P("vendor");
  ASSERT_EQ(RunPack({"keygen", "-o", name}), kExitOk);
  const std::string privateDer = ReadAll(PrivateKeyFileName(name));
  const std::string publicDer = ReadAll(PublicDerFileName(name));
  const std::string publicHex = ReadAll(PublicHexFileName(name));

  // 4096 bits, e = 65537: the SubjectPublicKeyInfo is 550 bytes, 1100 hex digits, no line end.
  EXPECT_EQ(publicDer.size(), 550u);
  EXPECT_EQ(publicHex.size(), 1100u);
  EXPECT_TRUE(IsUpperHex(publicHex));
  EXPECT_EQ(publicHex, archive::BytesToHex(reinterpret_cast<const unsigned char*>(publicDer.data()),
                                           publicDer.size()));
  // The public exponent 65537 closes the DER: INTEGER 0x010001.
  EXPECT_EQ(publicHex.substr(publicHex.size() - 10), "0203010001");

  auto key = archive::SigningKey::FromPrivateDer(
      reinterpret_cast<const unsigned char*>(privateDer.data()), privateDer.size());
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->Bits(), 4096);
  EXPECT_EQ(key->PublicHex(), publicHex);  // the files belong together
  EXPECT_NE(archive::ImportPublicKey(reinterpret_cast<const unsigned char*>(publicDer.data()),
                                     publicDer.size()),
            nullptr);

  // A second run must not replace the key silently.
  EXPECT_EQ(RunPack({"keygen", "-o", name, "--bits", "2048"}), kExitFailed);
  EXPECT_EQ(ReadAll(PrivateKeyFileName(name)), privateDer);
  ASSERT_EQ(RunPack({"keygen", "-o", name, "--bits", "2048", "--force"}), kExitOk);
  EXPECT_NE(ReadAll(PrivateKeyFileName(name)), privateDer);
  EXPECT_EQ(ReadAll(PublicHexFileName(name)).size(), 588u);  // 2048 bits: 294 DER bytes
}

}  // namespace
}  // namespace ferrolan::pack
