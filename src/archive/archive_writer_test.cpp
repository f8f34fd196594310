#include "archive/archive_writer.h"

#include <gtest/gtest.h>

#include <fstream>

#include "archive/entry_format.h"
#include "archive/signature.h"
#include "archive/testdata/archive_test_util.h"

namespace ferrolan::archive {
namespace {

using namespace std::string_literals;

using testutil::BuildArchive;
using testutil::TestKey;

using testutil::ImportPublicHex;

TEST(ArchiveWriterTest, EntriesAndSignatureBlockHaveTheFormatReadersExpect) {
  const std::string archive = BuildArchive(
      [](ArchiveWriter& w) {
        EXPECT_TRUE(w.AddFolder("bin"));
        EXPECT_TRUE(w.AddFile("bin/a.txt", "xyz"));
        EXPECT_TRUE(w.AddFile("lib/x.jar", "", EntryType::kPack200));
      },
      &TestKey());
  const std::string entries = "1\0bin\0"s + "0\0bin/a.txt\0003\0xyz"s + "2\0lib/x.jar\0000\0"s;
  ASSERT_EQ(archive.substr(0, entries.size()), entries);

  // Block: type 0, the special name, the length of fields 4 and 5, the covered length, hex.
  const std::string block = archive.substr(entries.size());
  const std::string header = "0\0flArcSpBlock_DigitalSignature1\0"s;
  ASSERT_EQ(block.substr(0, header.size()), header);
  const std::string body = block.substr(block.find('\0', header.size()) + 1);
  EXPECT_EQ(block.substr(header.size(), block.find('\0', header.size()) - header.size()),
            std::to_string(body.size()));
  const std::string covered = body.substr(0, body.find('\0'));
  EXPECT_EQ(covered, std::to_string(entries.size()));
  const std::string hex = body.substr(covered.size() + 1, body.size() - covered.size() - 2);
  EXPECT_EQ(hex.size(), 1024u);  // 512 bytes for a 4096-bit key
  EXPECT_EQ(body.back(), '\0');
  EXPECT_EQ(body.size(), covered.size() + 1 + 1024 + 1);

  // The signature verifies over the mixed hash of exactly the covered bytes.
  auto key = ImportPublicHex(TestKey().PublicHex());
  ASSERT_NE(key, nullptr);
  MixedHashState hash;
  MixedHash_init(&hash);
  MixedHash_process(&hash, reinterpret_cast<const unsigned char*>(entries.data()),
                    static_cast<unsigned long>(entries.size()));
  MixedHashState copy = hash;
  EXPECT_TRUE(CheckSignature(hash, hex, key.get()));
  unsigned char one = 1;
  MixedHash_process(&copy, &one, 1);
  MixedHashState cutShort = copy;
  EXPECT_FALSE(CheckSignature(copy, hex, key.get()));

  // A signature the verify call itself refuses (too short for the key): the decoded length is
  // logged first, then the call's failure.
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(VerifyArchiveSignature(cutShort, hex.substr(0, 64), key.get()));
  std::fflush(stdout);
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::size_t produced = out.find("[Unarchiver] Produced a signature of length 32\n");
  ASSERT_NE(produced, std::string::npos) << out;
  EXPECT_NE(out.find("ERROR - signature verification failed.\n", produced), std::string::npos)
      << out;
}

TEST(ArchiveWriterTest, KeysRoundTripThroughTheirTextForms) {
  const SigningKey& key = TestKey();
  EXPECT_EQ(key.Bits(), 4096);
  EXPECT_EQ(key.PublicHex(), testdata::kTestPublicKeyHex);
  EXPECT_EQ(key.PublicHex().size(), 1100u);
  auto again = SigningKey::FromPrivateHex(key.PrivateHex());
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->PublicHex(), key.PublicHex());
  EXPECT_EQ(SigningKey::FromPrivateHex(key.PublicHex()), nullptr);  // a public key cannot sign
  EXPECT_EQ(SigningKey::FromPrivateHex("00"), nullptr);

  // A fresh smaller key (4096 bits takes seconds under emulation) signs what the reader
  // checks; 2048 bits is the least that holds a 64-byte digest and a 64-byte salt.
  auto fresh = SigningKey::Generate(2048);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->Bits(), 2048);
  MixedHashState hash;
  MixedHash_init(&hash);
  MixedHash_process(&hash, reinterpret_cast<const unsigned char*>("abc"), 3);
  MixedHashState forSigning = hash;
  unsigned char digest[kMixedDigestSize];
  ASSERT_EQ(MixedHash_done(&forSigning, digest), 0);
  const std::vector<unsigned char> signature = fresh->SignDigest(digest);
  ASSERT_EQ(signature.size(), 256u);
  auto pub = ImportPublicHex(fresh->PublicHex());
  ASSERT_NE(pub, nullptr);
  MixedHashState forOtherKey = hash;
  EXPECT_TRUE(CheckSignature(hash, BytesToHex(signature.data(), signature.size()), pub.get()));
  // The same signature does not verify under another key.
  EXPECT_FALSE(CheckSignature(forOtherKey, BytesToHex(signature.data(), signature.size()),
                              ImportPublicHex(key.PublicHex()).get()));
  EXPECT_EQ(ImportPublicHex("3082"), nullptr);
}

TEST(ArchiveWriterTest, RefusesWhatTheReaderWouldRefuse) {
  std::string sink;
  auto make = [&sink] {
    return ArchiveWriter([&sink](const void* d, std::size_t n) {
      sink.append(static_cast<const char*>(d), n);
      return true;
    });
  };
  EXPECT_FALSE(make().AddFile("../evil", "x"));
  EXPECT_FALSE(make().AddFolder("C:/Windows"));
  EXPECT_FALSE(make().BeginFile("big", std::int64_t{1} << 31));
  ArchiveWriter short_content = make();
  ASSERT_TRUE(short_content.BeginFile("f", 3));
  ASSERT_TRUE(short_content.AppendContent("ab", 2));
  EXPECT_FALSE(short_content.Finish(nullptr));  // one byte still due
  ArchiveWriter too_much = make();
  ASSERT_TRUE(too_much.BeginFile("f", 1));
  EXPECT_FALSE(too_much.AppendContent("ab", 2));
  EXPECT_TRUE(too_much.Failed());

  ArchiveWriter failing([](const void*, std::size_t) { return false; });
  EXPECT_FALSE(failing.AddFolder("a"));
  EXPECT_FALSE(failing.AddFolder("b"));  // stays failed
}

TEST(ArchiveWriterTest, FolderTreeIsWrittenInAStableOrder) {
  testutil::TempFolder temp("writer-tree");
  namespace stdfs = std::filesystem;
  stdfs::create_directories(temp.dest() / "b" / "inner");
  stdfs::create_directories(temp.dest() / "a");
  std::ofstream(temp.dest() / "b" / "inner" / "z.txt", std::ios::binary) << "zz";
  std::ofstream(temp.dest() / "b" / "c.txt", std::ios::binary) << "c";
  std::ofstream(temp.dest() / "top.txt", std::ios::binary) << "";
  std::uint64_t total = 0;
  const std::string archive = BuildArchive(
      [&](ArchiveWriter& w) {
        EXPECT_TRUE(w.AddFolderTree(temp.destString(), "", [&](std::uint64_t n) { total += n; }));
      },
      nullptr);
  const std::string expected = "1\0a\0"s + "1\0b\0"s + "0\0b/c.txt\0001\0c"s + "1\0b/inner\0"s +
                               "0\0b/inner/z.txt\0002\0zz"s + "0\0top.txt\0000\0"s;
  EXPECT_EQ(archive, expected);
  EXPECT_EQ(total, 3u);
}

TEST(EntryFormatTest, PathsThatLeaveTheDestinationAreUnsafe) {
  for (const char* good : {"a", "a/b/c.txt", "a\\b", "bin/", "flArcSpBlock_x", "a.b/..c"})
    EXPECT_TRUE(IsSafeEntryPath(good)) << good;
  for (const char* bad : {"", "/etc/passwd", "\\x", "C:x", "C:/x", "a/../../b", "..", "a\\..\\b",
                          "./a", "a//b", "a/. ./b", "x/...", "a:b"})
    EXPECT_FALSE(IsSafeEntryPath(bad)) << bad;
}

TEST(EntryFormatTest, LengthsAreStrictTypesAreLenient) {
  EXPECT_EQ(ParseEntryLength("0"), 0);
  EXPECT_EQ(ParseEntryLength("2147483647"), 2147483647);
  for (const char* bad : {"", "-1", "+1", "1x", "x", " 1", "2147483648", "99999999999999999999"})
    EXPECT_FALSE(ParseEntryLength(bad).has_value()) << bad;
  EXPECT_EQ(ParseEntryType("1"), 1);
  EXPECT_EQ(ParseEntryType("2abc"), 2);
  EXPECT_EQ(ParseEntryType("folder"), 0);
}

}  // namespace
}  // namespace ferrolan::archive
