// Test helper: writes "test.p2.l2" into the current folder, the input of the launcher's
// extraction test mode: a small archive signed with the test key and compressed like the
// packager does. With the argument "tampered" one content byte is changed after signing.
#include <cstdio>
#include <cstring>

#include "archive/testdata/archive_test_util.h"

int main(int argc, char** argv) {
  using namespace ferrolan::archive;
  std::string archive = testutil::BuildArchive(
      [](ArchiveWriter& w) {
        w.AddFolder("extracttest");
        w.AddFile("extracttest/hello.txt", "hello from the extraction test");
      },
      &testutil::TestKey());
  if (archive.empty()) return 1;
  if (argc > 1 && std::strcmp(argv[1], "tampered") == 0) archive[archive.find("hello")] = 'j';
  const std::string compressed = testutil::CompressLzmaAlone(archive);
  std::FILE* file = std::fopen("test.p2.l2", "wb");
  if (file == nullptr) return 1;
  const bool written =
      std::fwrite(compressed.data(), 1, compressed.size(), file) == compressed.size();
  return std::fclose(file) == 0 && written ? 0 : 1;
}
