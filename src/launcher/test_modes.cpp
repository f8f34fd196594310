#include "launcher/test_modes.h"

#include <cstdio>

#include "log/log.h"

namespace ferrolan::launcher {
namespace {
int NotInThisBuild(const char* what) {
  std::printf("[TestMode] %s is not available in this build\n", what);
  std::fflush(stdout);
  return 0;
}
}  // namespace

int RunProxyTest(const char*) { return NotInThisBuild("The proxy test"); }

int RunExtractTest() { return NotInThisBuild("The extract test"); }

int RunDownloadTest2(const char*) { return NotInThisBuild("The download test"); }

int RunDownloadTest(const char*, const char*) { return NotInThisBuild("The download test"); }

void RunSplashTest() {
  NotInThisBuild("The splash test");
  log::EndProcess(1);
}

}  // namespace ferrolan::launcher
