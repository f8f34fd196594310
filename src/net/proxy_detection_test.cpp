// Proxy detection against the system as it is, on both targets: with no proxy settings (no
// proxy variables on POSIX; a prefix without Internet settings under Wine) nothing is found,
// whichever way the system answers.
#include "net/proxy_detection.h"

#include <gtest/gtest.h>

#include "testing/environment.h"
#include "testing/log_capture.h"

namespace ferrolan::net {
namespace {

TEST(ProxyDetectionTest, WithoutSettingsNothingIsFound) {
  ferrolan::testing::LogCapture log;
  ferrolan::testing::ScopedEnvironment env;
  for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "HTTPS_PROXY", "ALL_PROXY"}) {
    env.Set(name, std::nullopt);
  }
  EXPECT_EQ(DetectProxyForUrl("http://updates.invalid/jre.p2.l2"), ProxySettings{});
  EXPECT_TRUE(log.Logged("[Proxy] Proxy detection invoked for http://updates.invalid/jre.p2.l2"));
  EXPECT_TRUE(log.Logged("[Proxy] Got IE Proxy Configuration"));
  EXPECT_FALSE(log.Has("IE Setting - explicit"));
  // Where the system's settings ask for automatic detection (Wine's default), the lookup either
  // fails or finds a direct connection.
  if (log.Logged("[Proxy] IE Setting - autodetect")) {
    EXPECT_TRUE(log.Has("[Proxy] Configuration NOT found (") ||
                log.Logged("[Proxy] Direct connection used"));
  }
}

}  // namespace
}  // namespace ferrolan::net
