// Test helper standing in for the JRE's unpack200: "unpack200 PACKED TARGET" writes TARGET as
// "unpacked:" followed by the bytes of PACKED, so a test can tell that the tool ran and on what.
// A packed file whose content is "fail" produces no output, like a tool that gave up. With
// FAKE_UNPACK200_TRACE set, every run first appends the packed path to the file it names, a
// trace that survives the destination being emptied.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  if (const char* tracePath = std::getenv("FAKE_UNPACK200_TRACE")) {
    std::FILE* trace = std::fopen(tracePath, "ab");
    if (trace == nullptr) return 6;
    std::fprintf(trace, "%s\n", argv[1]);
    std::fclose(trace);
  }
  std::FILE* in = std::fopen(argv[1], "rb");
  if (in == nullptr) return 3;
  std::string content;
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;) content.append(chunk, n);
  std::fclose(in);
  if (content == "fail") return 4;
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) return 5;
  std::fputs("unpacked:", out);
  std::fwrite(content.data(), 1, content.size(), out);
  std::fclose(out);
  return 0;
}
