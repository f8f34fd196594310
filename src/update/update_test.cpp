// The update check's trust rules and the install of what it finds, against an update folder
// served from disk through the download race (the Direct strategy reads the folder's files).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "archive/archive_writer.h"
#include "archive/sha256.h"
#include "archive/signature.h"
#include "archive/testdata/archive_test_util.h"
#include "archive/update_metadata.h"
#include "net/download_race.h"
#include "net/fake_transport.h"
#include "net/proxy_settings.h"
#include "testing/temp_folder.h"
#include "update/background_update.h"
#include "update/update_check.h"
#include "update/update_install.h"
#include "update/update_lock.h"
#include "update/update_state.h"

namespace ferrolan::update {
namespace {

namespace stdfs = std::filesystem;
using archive::UpdateComponent;
using archive::UpdateComponentKind;
using archive::UpdateMetadata;

constexpr std::uint64_t kNow = 1800000000;

// Serves the files of a folder: the request's last path component, query removed. Only the
// Direct strategy reaches it, as on a machine without proxies.
class FolderTransport final : public net::AttemptTransport {
 public:
  explicit FolderTransport(stdfs::path folder) : folder_(std::move(folder)) {}
  bool Open(const net::AttemptSetup& setup) override {
    if (setup.strategyName != "Direct") return false;
    std::string name = setup.url.substr(setup.url.rfind('/') + 1);
    name = name.substr(0, name.find('?'));
    std::ifstream in(folder_ / name, std::ios::binary);
    if (!in) return true;  // answered with 404
    body_.assign(std::istreambuf_iterator<char>(in), {});
    found_ = true;
    return true;
  }
  net::TransferEnd Transfer(net::ResponseSink& sink) override {
    if (!sink.OnResponse()) return net::TransferEnd::kStopped;
    for (std::size_t at = 0; at < body_.size(); at += 4096) {
      const std::size_t part = std::min<std::size_t>(4096, body_.size() - at);
      if (!sink.OnBody(body_.data() + at, static_cast<int>(part)))
        return net::TransferEnd::kStopped;
    }
    return net::TransferEnd::kComplete;
  }
  int StatusCode() override { return found_ ? 200 : 404; }
  std::optional<std::int64_t> ContentLength() override {
    return found_ ? std::optional<std::int64_t>(static_cast<std::int64_t>(body_.size()))
                  : std::nullopt;
  }
  net::CredentialAnswer AskProxyCredentials() override { return {}; }
  void Resend() override {}
  net::ChosenProxy QueryProxy() override { return net::Readable(); }

 private:
  stdfs::path folder_;
  std::string body_;
  bool found_ = false;
};

class UpdateTest : public ferrolan::testing::LoggedTempFolderTest {
 protected:
  void SetUp() override {
    // The archives are verified with the process's key, as in the launcher.
    archive::SetProcessPublicKey(
        archive::testutil::ImportPublicHex(archive::testutil::TestKey().PublicHex()));
    stdfs::create_directories(root_ / "master" / "FLAppsSharedConfig");
    stdfs::create_directories(root_ / "server");
    context_.masterFolder = Path("master");
    context_.sharedConfigFolder = Path("master/FLAppsSharedConfig");
    context_.appName = "Demo";
    context_.jreName = "jre17";
    context_.updateUrl = "http://updates.example/folder/";
    context_.key = archive::ProcessPublicKey();
    context_.now = [] { return kNow; };
    const stdfs::path server = root_ / "server";
    context_.environment.transport = [server](const std::string&) {
      return std::make_unique<FolderTransport>(server);
    };
    context_.environment.detectProxyForUrl = [](const std::string&) {
      return net::ProxySettings{};
    };
    context_.environment.detectAutoProxy = [](const std::string&) {
      return std::optional<net::ProxySettings>();
    };
  }
  void TearDown() override {
    net::JoinLingeringDownloadThreads();
    net::ResetWorkingProxySettingsForTesting();
    archive::SetProcessPublicKey(nullptr);
    LoggedTempFolderTest::TearDown();
  }

  // Publishes an application archive of `version` holding one file, returns its component.
  UpdateComponent PublishApp(const std::string& version, const std::string& content) {
    const std::string archive =
        archive::testutil::CompressLzmaAlone(archive::testutil::BuildArchive(
            [&](archive::ArchiveWriter& w) { w.AddFile("app.txt", content); },
            &archive::testutil::TestKey()));
    const std::string name = "Ferrolan-Demo-" + version + "-archive.p2.l2";
    Write("server/" + name, archive);
    archive::Sha256 hash;
    hash.Add(archive.data(), archive.size());
    return {UpdateComponentKind::kApp, "Demo", version, name, archive.size(), hash.HexDigest()};
  }

  UpdateMetadata Metadata(std::uint64_t metadataVersion, std::vector<UpdateComponent> components) {
    UpdateMetadata m;
    m.appName = "Demo";
    m.metadataVersion = metadataVersion;
    m.expires = kNow + 3600;
    m.components = std::move(components);
    return m;
  }

  void Serve(const UpdateMetadata& m,
             const archive::SigningKey& key = archive::testutil::TestKey()) {
    Write(std::string("server/") + archive::kUpdateMetadataFileName,
          archive::SignUpdateMetadata(m, key));
  }

  void Install(const std::string& name) { stdfs::create_directories(root_ / "master" / name); }

  UpdateContext context_;
};

TEST_F(UpdateTest, ANewerReleaseIsFoundInstalledAndItsMetadataKept) {
  Install("Ferrolan-Demo-00000000001-complete");
  Serve(Metadata(5, {PublishApp("00000000002", "version 2")}));
  const UpdateCheck check = CheckForUpdates(context_);
  ASSERT_EQ(check.status, CheckStatus::kAvailable);
  ASSERT_EQ(check.newer.size(), 1u);
  EXPECT_EQ(check.appVersion, "00000000002");
  EXPECT_TRUE(stdfs::exists(root_ / "master/FLAppsSharedConfig" / kAcceptedMetadataFileName));

  std::vector<int> progress;
  InstallOptions options;
  options.progress = [&](int percent) { progress.push_back(percent); };
  ASSERT_EQ(InstallUpdates(context_, check.newer, options), InstallStatus::kInstalled);
  EXPECT_EQ(Read(Path("master/Ferrolan-Demo-00000000002-complete/app.txt")), "version 2");
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 100);
  for (const auto& entry : stdfs::directory_iterator(root_ / "master"))
    EXPECT_NE(entry.path().filename().string().rfind(kUpdateFolderPrefix, 0), 0u);

  // Installed now: the same metadata offers nothing, and a lower version never is offered.
  EXPECT_EQ(CheckForUpdates(context_).status, CheckStatus::kUpToDate);
  Install("Ferrolan-Demo-00000000003-complete");
  Serve(Metadata(6, {PublishApp("00000000002", "version 2")}));
  EXPECT_EQ(CheckForUpdates(context_).status, CheckStatus::kUpToDate);
}

TEST_F(UpdateTest, UntrustworthyMetadataIsRefusedAndNothingIsOffered) {
  Install("Ferrolan-Demo-00000000001-complete");
  const UpdateComponent v2 = PublishApp("00000000002", "version 2");
  Serve(Metadata(9, {v2}));
  ASSERT_EQ(CheckForUpdates(context_).status, CheckStatus::kAvailable);

  // Rollback: older metadata, validly signed, replayed.
  Serve(Metadata(8, {v2}));
  EXPECT_EQ(CheckForUpdates(context_).status, CheckStatus::kRefused);
  // The same version with other content.
  UpdateMetadata changed = Metadata(9, {v2});
  changed.rollout = 50;
  Serve(changed);
  EXPECT_EQ(CheckForUpdates(context_).status, CheckStatus::kRefused);
  // Freeze: expired metadata.
  UpdateMetadata expired = Metadata(10, {v2});
  expired.expires = kNow - 1;
  Serve(expired);
  EXPECT_EQ(CheckForUpdates(context_).status, CheckStatus::kExpired);
  // Another application of the same vendor.
  UpdateMetadata other = Metadata(11, {v2});
  other.appName = "Other";
  Serve(other);
  EXPECT_EQ(CheckForUpdates(context_).status, CheckStatus::kRefused);
  // Another key.
  const std::unique_ptr<archive::SigningKey> stranger = archive::SigningKey::Generate(2048);
  Serve(Metadata(12, {v2}), *stranger);
  EXPECT_EQ(CheckForUpdates(context_).status, CheckStatus::kRefused);
  // None of these replaced what was accepted.
  const auto kept = AcceptedMetadata(context_.sharedConfigFolder, context_.key);
  ASSERT_TRUE(kept.has_value());
  EXPECT_EQ(kept->metadataVersion, 9u);

  // No metadata in the folder (the server's error page is no metadata), and no update URL.
  stdfs::remove(root_ / "server" / archive::kUpdateMetadataFileName);
  EXPECT_EQ(CheckForUpdates(context_).status, CheckStatus::kRefused);
  context_.updateUrl = "";
  EXPECT_EQ(CheckForUpdates(context_).status, CheckStatus::kNoUpdateFolder);
}

TEST_F(UpdateTest, AnArchiveThatIsNotTheDeclaredOneIsNotPutInPlace) {
  Install("Ferrolan-Demo-00000000001-complete");
  UpdateComponent v2 = PublishApp("00000000002", "version 2");
  // A validly signed archive of another release under the declared name.
  const UpdateComponent v3 = PublishApp("00000000003", "version 3");
  Write("server/" + v2.archive, Read(Path("server/" + v3.archive)));
  Serve(Metadata(1, {v2}));
  UpdateCheck check = CheckForUpdates(context_);
  ASSERT_EQ(check.status, CheckStatus::kAvailable);
  EXPECT_EQ(InstallUpdates(context_, check.newer, {}), InstallStatus::kFailed);
  EXPECT_FALSE(stdfs::exists(root_ / "master/Ferrolan-Demo-00000000002-complete"));

  // Declared shorter than it is: the download stops at the declared length.
  v2 = PublishApp("00000000002", "version 2");
  v2.length -= 1;
  Serve(Metadata(2, {v2}));
  check = CheckForUpdates(context_);
  EXPECT_EQ(InstallUpdates(context_, check.newer, {}), InstallStatus::kFailed);
  EXPECT_FALSE(stdfs::exists(root_ / "master/Ferrolan-Demo-00000000002-complete"));
  for (const auto& entry : stdfs::directory_iterator(root_ / "master"))
    EXPECT_NE(entry.path().filename().string().rfind(kUpdateFolderPrefix, 0), 0u);
}

TEST_F(UpdateTest, RollOutReachesSomeInstallationsButARequiredUpdateReachesAll) {
  Install("Ferrolan-Demo-00000000001-complete");
  Write("master/FLAppsSharedConfig/" + std::string(kRolloutNumberFileName), "42");
  EXPECT_EQ(RolloutNumber(context_.sharedConfigFolder), 42);
  UpdateMetadata staged = Metadata(1, {PublishApp("00000000002", "version 2")});
  staged.rollout = 42;
  Serve(staged);
  EXPECT_EQ(CheckForUpdates(context_).status, CheckStatus::kNotRolledOut);
  staged.metadataVersion = 2;
  staged.rollout = 43;
  Serve(staged);
  EXPECT_EQ(CheckForUpdates(context_).status, CheckStatus::kAvailable);
  staged.metadataVersion = 3;
  staged.rollout = 0;
  staged.minimumVersion = "00000000002";
  Serve(staged);
  const UpdateCheck required = CheckForUpdates(context_);
  EXPECT_EQ(required.status, CheckStatus::kAvailable);
  EXPECT_TRUE(UpdateRequired(context_, *required.metadata));

  // A number that cannot be read is drawn anew and kept.
  Write("master/FLAppsSharedConfig/" + std::string(kRolloutNumberFileName), "x");
  const int drawn = RolloutNumber(context_.sharedConfigFolder);
  EXPECT_GE(drawn, 0);
  EXPECT_LT(drawn, 100);
  EXPECT_EQ(RolloutNumber(context_.sharedConfigFolder), drawn);
}

TEST_F(UpdateTest, OneInstallerAtATimeAndLeftoversOfADeadOneGo) {
  Install("Ferrolan-Demo-00000000001-complete");
  Install(std::string(kUpdateFolderPrefix) + "1-0");
  Serve(Metadata(1, {PublishApp("00000000002", "version 2")}));
  const UpdateCheck check = CheckForUpdates(context_);
  {
    const auto held = UpdateLock::TryTake(Path("master/FLAppsSharedConfig/UpdateLock"));
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(InstallUpdates(context_, check.newer, {}), InstallStatus::kBusy);
  }
  EXPECT_EQ(InstallUpdates(context_, check.newer, {}), InstallStatus::kInstalled);
  EXPECT_FALSE(stdfs::exists(root_ / "master" / (std::string(kUpdateFolderPrefix) + "1-0")));

  // A launcher that carries version 3 puts it in place while the update downloads it: that
  // folder stays as it is, and the download leaves nothing behind.
  Serve(Metadata(2, {PublishApp("00000000003", "version 3")}));
  const UpdateCheck third = CheckForUpdates(context_);
  Install("Ferrolan-Demo-00000000003-complete");
  EXPECT_EQ(InstallUpdates(context_, third.newer, {}), InstallStatus::kInstalled);
  EXPECT_TRUE(stdfs::is_empty(root_ / "master/Ferrolan-Demo-00000000003-complete"));
  for (const auto& entry : stdfs::directory_iterator(root_ / "master"))
    EXPECT_NE(entry.path().filename().string().rfind(kUpdateFolderPrefix, 0), 0u);
}

TEST_F(UpdateTest, TheBackgroundUpdateFinishesOrIsStoppedWithNothingHalfInstalled) {
  Install("Ferrolan-Demo-00000000001-complete");
  Serve(Metadata(1, {PublishApp("00000000002", "version 2")}));
  {
    BackgroundUpdate update(context_, {}, 60000);
    update.Finish(60000);  // the application ended: the check goes ahead at once
  }
  EXPECT_TRUE(stdfs::exists(root_ / "master/Ferrolan-Demo-00000000002-complete"));

  Serve(Metadata(2, {PublishApp("00000000003", "version 3")}));
  { BackgroundUpdate stopped(context_, {}, 60000); }  // stopped before it began
  EXPECT_FALSE(stdfs::exists(root_ / "master/Ferrolan-Demo-00000000003-complete"));
}

// An application that ends the process from Java never returns to the launcher: the update that
// runs is finished all the same before the process ends.
TEST_F(UpdateTest, TheRunningUpdateIsFinishedWhenJavaEndsTheProcess) {
  Install("Ferrolan-Demo-00000000001-complete");
  Serve(Metadata(1, {PublishApp("00000000002", "version 2")}));
  BackgroundUpdate::FinishRunning();  // none runs: nothing happens
  BackgroundUpdate update(context_, {}, 60000);
  BackgroundUpdate::FinishRunning();
  EXPECT_TRUE(stdfs::exists(root_ / "master/Ferrolan-Demo-00000000002-complete"));
}

}  // namespace
}  // namespace ferrolan::update
