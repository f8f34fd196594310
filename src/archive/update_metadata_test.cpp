// The signed metadata of an update folder: what the writer produces is what the reader gives
// back, and nothing else is read: not before the signature is checked, and not in any form
// the writer would not have produced.
#include "archive/update_metadata.h"

#include <gtest/gtest.h>

#include "archive/archive_writer.h"
#include "archive/sha256.h"
#include "archive/signature.h"
#include "archive/testdata/archive_test_util.h"

namespace ferrolan::archive {
namespace {

using testutil::ImportPublicHex;
using testutil::TestKey;

UpdateMetadata Sample() {
  UpdateMetadata m;
  m.appName = "My App";
  m.metadataVersion = 7;
  m.expires = 1900000000;
  m.critical = true;
  m.minimumVersion = "00000000002";
  m.rollout = 25;
  m.components.push_back({UpdateComponentKind::kUpdater, "Ferrolan", "00000000003",
                          "Ferrolan-Ferrolan-00000000003-archive.p2.l2", 1234,
                          std::string(64, 'a')});
  m.components.push_back({UpdateComponentKind::kApp, "My App", "00000000005",
                          "Ferrolan-My App-00000000005-archive.p2.l2", 99, std::string(64, '0')});
  return m;
}

const PublicKey* Key() {
  static const std::unique_ptr<PublicKey> key = ImportPublicHex(TestKey().PublicHex());
  return key.get();
}

TEST(UpdateMetadataTest, WhatIsSignedReadsBackFieldForField) {
  const std::string file = SignUpdateMetadata(Sample(), TestKey());
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(file.rfind(std::string(kUpdateMetadataHeader) + "\napp=My App\n", 0), 0u);
  const MetadataReading reading = ReadUpdateMetadata(file, Key());
  ASSERT_EQ(reading.status, MetadataStatus::kOk) << reading.problem;
  const UpdateMetadata& m = reading.metadata;
  EXPECT_EQ(m.appName, "My App");
  EXPECT_EQ(m.metadataVersion, 7u);
  EXPECT_EQ(m.expires, 1900000000u);
  EXPECT_TRUE(m.critical);
  EXPECT_EQ(m.minimumVersion, "00000000002");
  EXPECT_EQ(m.rollout, 25);
  ASSERT_EQ(m.components.size(), 2u);
  EXPECT_EQ(m.Find(UpdateComponentKind::kJre), nullptr);
  const UpdateComponent* app = m.Find(UpdateComponentKind::kApp);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->name, "My App");
  EXPECT_EQ(app->archive, "Ferrolan-My App-00000000005-archive.p2.l2");
  EXPECT_EQ(app->length, 99u);
  EXPECT_EQ(m.Find(UpdateComponentKind::kUpdater)->version, "00000000003");
}

TEST(UpdateMetadataTest, AnyChangeToTheSignedTextOrAnotherKeyIsRefused) {
  const std::string file = SignUpdateMetadata(Sample(), TestKey());
  // Each byte of the signed part matters, a rollback of the metadata version included.
  std::string replayed = file;
  replayed.replace(replayed.find("metadata_version=7"), 18, "metadata_version=8");
  EXPECT_EQ(ReadUpdateMetadata(replayed, Key()).status, MetadataStatus::kBadSignature);
  std::string flipped = file;
  flipped[flipped.find("rollout=25") + 8] = '9';
  EXPECT_EQ(ReadUpdateMetadata(flipped, Key()).status, MetadataStatus::kBadSignature);

  const std::unique_ptr<SigningKey> other = SigningKey::Generate(2048);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(ReadUpdateMetadata(SignUpdateMetadata(Sample(), *other), Key()).status,
            MetadataStatus::kBadSignature);
  EXPECT_EQ(ReadUpdateMetadata(file, nullptr).status, MetadataStatus::kBadSignature);

  EXPECT_EQ(ReadUpdateMetadata(EncodeUpdateMetadata(Sample()), Key()).status,
            MetadataStatus::kNoSignature);
  EXPECT_EQ(ReadUpdateMetadata(file.substr(0, file.size() - 1), Key()).status,
            MetadataStatus::kNoSignature);
  EXPECT_EQ(ReadUpdateMetadata("", Key()).status, MetadataStatus::kNoSignature);
  EXPECT_EQ(ReadUpdateMetadata("signature=\n", Key()).status, MetadataStatus::kNoSignature);
  EXPECT_EQ(ReadUpdateMetadata(std::string(kMaxUpdateMetadataBytes + 1, 'x'), Key()).status,
            MetadataStatus::kTooLong);
  EXPECT_EQ(ReadUpdateMetadata(file + "x\n", Key()).status, MetadataStatus::kNoSignature);
}

// A signed text the writer would not have produced is refused too: the signer's mistakes
// (or a future format) never reach the launcher's decisions.
TEST(UpdateMetadataTest, OnlyTheWritersFormIsRead) {
  auto signedText = [](const std::string& text) { return SignMetadataText(text, TestKey()); };
  const std::string good = EncodeUpdateMetadata(Sample());
  EXPECT_EQ(ReadUpdateMetadata(signedText(good), Key()).status, MetadataStatus::kOk);
  const std::pair<std::string, std::string> breakages[] = {
      {"rollout=25", "rollout=101"},
      {"metadata_version=7", "metadata_version=07"},
      {"critical=1", "critical=yes"},
      {"app=My App", "app=../App"},
      {"app.length=99", "app.length=-1"},
      {"minimum_version=00000000002", "minimum_version=two"},
      {"updater.name=Ferrolan", "updater.name=.."},
      {"app.archive=Ferrolan-My App", "app.archive=../Ferrolan-My App"},
      {"app.sha256=0", "app.sha256=A"},
      {"expires=1900000000\ncritical", "critical"},
  };
  for (const auto& [from, to] : breakages) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    EXPECT_EQ(ReadUpdateMetadata(signedText(text), Key()).status, MetadataStatus::kMalformed) << to;
  }
  EXPECT_EQ(ReadUpdateMetadata(signedText(good + "extra=1\n"), Key()).status,
            MetadataStatus::kMalformed);

  UpdateMetadata twice = Sample();
  twice.components.push_back(twice.components.back());
  EXPECT_EQ(EncodeUpdateMetadata(twice), "");
  UpdateMetadata broken = Sample();
  broken.appName = "two\nlines";
  EXPECT_EQ(EncodeUpdateMetadata(broken), "");
}

TEST(UpdateMetadataTest, Sha256IsThePlainDigest) {
  Sha256 hash;
  hash.Add("ab", 2);
  hash.Add("c", 1);
  EXPECT_EQ(hash.HexDigest(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_TRUE(IsVersionText("00000000001"));
  EXPECT_FALSE(IsVersionText("12345678901234567890"));
  EXPECT_EQ(VersionValue("00000000012"), 12u);
}

}  // namespace
}  // namespace ferrolan::archive
