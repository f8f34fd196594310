// Developer test modes: each exercises one component from the command line, prints what
// happened to standard output and returns the exit code: kSuccess whatever the outcome, but for
// an archive the extraction test rejects and the splash test, which end with kFailure. The log
// file is never opened.
#pragma once

#include "launcher/exit_codes.h"

namespace ferrolan::launcher {

ExitCode RunProxyTest(const char* url);
ExitCode RunExtractTest();
ExitCode RunDownloadTest2(const char* url);
/// \param onlyStrategy  when not null, every download strategy of another name skips at once
ExitCode RunDownloadTest(const char* url, const char* onlyStrategy);
/// Shows the splash with a scripted progress sequence; kFailure.
ExitCode RunSplashTest();

}  // namespace ferrolan::launcher
