// Test child of the Spawner tests: argv_echo <output file> <exit code> [arguments...]
// Writes every argument after the first two as "<length>:<bytes>\n" into <output file>.part,
// renames that to <output file> once complete (so a poller never sees half of it), and exits
// with <exit code>. With "-" as output file it writes the records to standard output, then a
// line to standard error, then 70,000 dots to standard output (more than a capture keeps).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc < 3) return 100;
  std::string target = argv[1];
  if (target == "-") {
    for (int i = 3; i < argc; ++i) std::printf("%zu:%s\n", std::strlen(argv[i]), argv[i]);
    std::fflush(stdout);
    std::fputs("to stderr\n", stderr);
    std::fflush(stderr);
    for (int i = 0; i < 70000; ++i) std::putchar('.');
    return std::atoi(argv[2]);
  }
  std::string part = target + ".part";
  std::FILE* out = std::fopen(part.c_str(), "wb");
  if (out == nullptr) return 101;
  for (int i = 3; i < argc; ++i) {
    std::fprintf(out, "%zu:", std::strlen(argv[i]));
    std::fwrite(argv[i], 1, std::strlen(argv[i]), out);
    std::fputc('\n', out);
  }
  if (std::fclose(out) != 0) return 102;
  if (std::rename(part.c_str(), target.c_str()) != 0) return 103;
  return std::atoi(argv[2]);
}
