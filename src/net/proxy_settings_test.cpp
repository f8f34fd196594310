// The process-wide working proxy and its "DetectedProxy" file.
#include "net/proxy_settings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testing/files.h"
#include "testing/temp_folder.h"

namespace ferrolan::net {
namespace {

namespace stdfs = std::filesystem;

class ProxySettingsTest : public ferrolan::testing::LoggedTempFolderTest {
 protected:
  void SetUp() override { ResetWorkingProxySettingsForTesting(); }
  void TearDown() override {
    ResetWorkingProxySettingsForTesting();
    LoggedTempFolderTest::TearDown();
  }
};

TEST_F(ProxySettingsTest, FirstSaveWinsForTheWholeProcess) {
  EXPECT_FALSE(WorkingProxySettings());
  SaveWorkingProxySettings("proxy:3128", std::nullopt);
  SaveWorkingProxySettings("other:8080", "localhost");
  EXPECT_EQ(WorkingProxySettings(), (ProxySettings{"proxy:3128", std::nullopt}));
  EXPECT_TRUE(log_.Logged("[HttpDownloader] No existing proxy settings found, so saving."));
  // This message has no line end of its own.
  EXPECT_TRUE(
      log_.Has("[HttpDownloader] Asked to save working proxy settings, but settings "
               "already exist, so skipping."));
}

TEST_F(ProxySettingsTest, ProxyFileIsWrittenDeletedOrLeftAlone) {
  const stdfs::path file = root_ / "DetectedProxy";
  const std::string folder = Path();
  SaveProxyConfiguration(folder, ProxySettings{"proxy.local:3128", "localhost;*.corp"});
  EXPECT_EQ(ferrolan::testing::ReadFile(file), "proxy.local:3128\r\nlocalhost;*.corp");
  SaveProxyConfiguration(folder, ProxySettings{"other:8080", std::nullopt});
  EXPECT_EQ(ferrolan::testing::ReadFile(file), "other:8080");
  EXPECT_TRUE(log_.Logged("[Proxy] Saved proxy bypass list"));

  // No download recorded anything: an earlier file stays.
  SaveProxyConfiguration(folder, std::nullopt);
  EXPECT_EQ(ferrolan::testing::ReadFile(file), "other:8080");
  EXPECT_TRUE(log_.Logged("[Proxy] No working proxy was found, so no proxy to be saved."));
  // A working setting without a proxy list (direct access worked) removes it.
  SaveProxyConfiguration(folder, ProxySettings{});
  EXPECT_FALSE(stdfs::exists(file));
}

}  // namespace
}  // namespace ferrolan::net
