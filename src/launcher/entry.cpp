#include "launcher/entry.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "launcher/extractor.h"
#include "launcher/run_mode.h"
#include "launcher/run_output_os.h"
#include "launcher/test_modes.h"
#include "launcher/update_run.h"
#include "log/log.h"

namespace ferrolan::launcher {

ExitCode LauncherMain(int argc, char** argv) {
  RunSelection selection = SelectRunMode(argc, argv);
  switch (selection.mode) {
    case RunMode::ProxyTest:
      return RunProxyTest(argv[2]);
    case RunMode::ExtractTest:
      return RunExtractTest();
    case RunMode::DownloadTest2:
      return RunDownloadTest2(argv[2]);
    case RunMode::DownloadTest:
      return RunDownloadTest(argv[2], argc > 3 ? argv[3] : nullptr);
    case RunMode::SplashTest:
      return RunSplashTest();
    case RunMode::Uninstall:
      return Uninstaller(argc > 0 && argv[0] != nullptr ? argv[0] : "");
    case RunMode::UpdateCheck:
    case RunMode::UpdateDownload:
      return UpdateCommand(argv[0], selection.mode == RunMode::UpdateDownload);
    case RunMode::Normal:
      break;
  }

  const char* echo = std::getenv("FERROLAN_LOG_ECHO");
  if (!detail::EchoesLogByDefault() && !(echo != nullptr && std::string_view(echo) == "1"))
    log::SetConsoleEnabled(false);
  log::ConsolePrintf("Extracting wrapper tail...\n");
  std::string programPath = argc > 0 && argv[0] != nullptr ? argv[0] : "";
  return Extractor(programPath, argc > 0 ? argc - 1 : 0, argc > 0 ? argv + 1 : argv,
                   selection.prepareOnly);
}

}  // namespace ferrolan::launcher
