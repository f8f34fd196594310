// A stand-in for a JRE's executables in tests. The JRE search tests only read its version
// resource. The end-to-end tests also run it as a JRE's launcher, so it answers the way a real
// runtime running the updater's classes would: it exits with 72 (compatible) when one of its
// arguments names the compatibility class, and with 0 for anything else, such as the class-data
// regeneration. When FERROLAN_FAKE_JAVA_LOG names a file, it appends one line per run holding its
// arguments separated by blanks, so a test can tell which runtime was run and how.
#include <cstdlib>
#include <cstring>
#include <fstream>

int main(int argc, char** argv) {
  bool compatibilityClass = false;
  for (int i = 1; i < argc; ++i)
    if (std::strstr(argv[i], "Compatibility") != nullptr) compatibilityClass = true;

  if (const char* record = std::getenv("FERROLAN_FAKE_JAVA_LOG"); record != nullptr && *record) {
    std::ofstream out(record, std::ios::app);
    for (int i = 0; i < argc; ++i) out << (i == 0 ? "" : " ") << argv[i];
    out << '\n';
  }
  return compatibilityClass ? 72 : 0;
}
