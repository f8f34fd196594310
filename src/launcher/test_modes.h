// Developer test modes: each exercises one component from the command line, prints what
// happened to standard output and returns 0 whatever the outcome. The log file is never opened.
#pragma once

namespace ferrolan::launcher {

int RunProxyTest(const char* url);
int RunExtractTest();
int RunDownloadTest2(const char* url);
/// \param onlyStrategy  when not null, every download strategy of another name skips at once
int RunDownloadTest(const char* url, const char* onlyStrategy);
/// Shows the splash with a scripted progress sequence, then ends the process with exit code 1.
[[noreturn]] void RunSplashTest();

}  // namespace ferrolan::launcher
