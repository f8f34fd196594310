// A stand-in for a JRE's executables in tests. The JRE search tests only read its version
// resource. The end-to-end tests also run it as a JRE's launcher, so it answers the way a real
// runtime running the updater's classes would: it exits with 72 (compatible) when one of its
// arguments names the compatibility class, and with 0 for anything else, such as the class-data
// regeneration. When FERROLAN_FAKE_JAVA_LOG names a file, it appends one line per run holding its
// arguments separated by blanks, so a test can tell which runtime was run and how. When
// FERROLAN_FAKE_JAVA_DUMP_MS is set, the class-data regeneration ("-Xshare:dump") takes that many
// milliseconds, which holds an install at a known step.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

int main(int argc, char** argv) {
  bool compatibilityClass = false;
  bool classDataDump = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strstr(argv[i], "Compatibility") != nullptr) compatibilityClass = true;
    if (std::strcmp(argv[i], "-Xshare:dump") == 0) classDataDump = true;
  }

  if (const char* record = std::getenv("FERROLAN_FAKE_JAVA_LOG"); record != nullptr && *record) {
    std::ofstream out(record, std::ios::app);
    for (int i = 0; i < argc; ++i) out << (i == 0 ? "" : " ") << argv[i];
    out << '\n';
  }
  if (const char* pause = std::getenv("FERROLAN_FAKE_JAVA_DUMP_MS"); pause && classDataDump)
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(pause)));
  return compatibilityClass ? 72 : 0;
}
