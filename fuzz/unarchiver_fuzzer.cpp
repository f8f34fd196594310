// The Unarchiver on an unsigned entry stream, with no key imported: every entry type, nested
// ".p2.l2" archives (decoded and extracted on their own threads), unsafe paths and bad length
// fields. Files go to a scratch folder that is emptied after every input; the harness then
// checks that nothing appeared next to the destination.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "archive/unarchiver.h"
#include "fs/path.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ferrolan::fuzz::QuietLog();
  static const ferrolan::fuzz::Scratch scratch("unarchiver");
  ferrolan::archive::ArchiveJob job(scratch.Path("dest"));
  ferrolan::fs::CreateFolder(job.destination);
  job.key = nullptr;  // no key: an archive without a signature block is accepted unchecked
  auto input =
      ferrolan::fuzz::ClosedBuffer(std::string_view(reinterpret_cast<const char*>(data), size));
  ferrolan::archive::ExtractArchive(*input, job);
  // Whatever the archive held, only the destination may have received anything.
  for (const auto& item : std::filesystem::directory_iterator(scratch.Path())) {
    if (item.path().filename() != "dest") __builtin_trap();
  }
  scratch.Reset();
  return 0;
}
