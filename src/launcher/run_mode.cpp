#include "launcher/run_mode.h"

#include <cstring>

namespace ferrolan::launcher {
namespace {

struct TestOption {
  const char* name;
  RunMode mode;
};

// Compared in this order, exactly and case-sensitively. "--quorvantis-downloadtest2" comes
// before its prefix "--quorvantis-downloadtest"; the comparison is exact either way.
constexpr TestOption kTestOptions[] = {
    {"--quorvantis-proxytest", RunMode::ProxyTest},
    {"--quorvantis-extracttest", RunMode::ExtractTest},
    {"--quorvantis-downloadtest2", RunMode::DownloadTest2},
    {"--quorvantis-downloadtest", RunMode::DownloadTest},
};

bool Equals(const char* a, const char* b) {
  return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

}  // namespace

RunSelection SelectRunMode(int argc, const char* const* argv) {
  RunSelection selection;
  if (argc <= 0 || argv == nullptr) return selection;

  if (argc > 2) {
    for (const TestOption& option : kTestOptions) {
      if (Equals(argv[1], option.name)) {
        selection.mode = option.mode;
        return selection;
      }
    }
  }

  if (argc >= 2 && Equals(argv[1], "-TESTSPLASH")) {
    selection.mode = RunMode::SplashTest;
    return selection;
  }
  // With no arguments the last element is the program path, which is never taken for one.
  if (argc >= 2 && Equals(argv[argc - 1], kUninstallArgument)) {
    selection.mode = RunMode::Uninstall;
    return selection;
  }
  if (argc >= 2 && Equals(argv[argc - 1], kUpdateCheckArgument)) {
    selection.mode = RunMode::UpdateCheck;
    return selection;
  }
  if (argc >= 2 && Equals(argv[argc - 1], kUpdateDownloadArgument)) {
    selection.mode = RunMode::UpdateDownload;
    return selection;
  }
  selection.prepareOnly = Equals(argv[argc - 1], kPrepareOnlyArgument);
  return selection;
}

}  // namespace ferrolan::launcher
