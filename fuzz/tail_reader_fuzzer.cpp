// The wrapper tail reader on a whole launcher file: ReadWrapperTail (marker search, the reader
// thread, the eleven fields), then the tail entries those fields announce, extracted one by one
// as the main flow does (nested ".p2.l2" archives included), and the shortcut search for the
// Params marker that walks the same entries by their lengths. The file lives in a scratch
// folder, which is emptied after every input.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "archive/unarchiver.h"
#include "fs/owned_file.h"
#include "fs/path.h"
#include "fuzz/fuzz_support.h"
#include "tail/params_locator.h"
#include "tail/payload_layout.h"
#include "tail/tail_reader.h"

namespace {

void ExtractAnnouncedEntries(ferrolan::tail::WrapperTail& tail,
                             const ferrolan::fuzz::Scratch& scratch) {
  const std::string destination = scratch.Path("dest");
  ferrolan::fs::CreateFolder(destination);
  const std::size_t entries = ferrolan::tail::TailEntriesFor(tail.fields).size();
  for (std::size_t i = 0; i < entries; ++i) {
    if (ferrolan::archive::ExtractTailEntry(*tail.reader.buffer, destination) !=
        ferrolan::archive::EntryResult::kNext) {
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ferrolan::fuzz::QuietLog();
  static const ferrolan::fuzz::Scratch scratch("tail");
  const std::string path = scratch.WriteFile("launcher.bin", data, size);
  {
    std::optional<ferrolan::tail::WrapperTail> tail = ferrolan::tail::ReadWrapperTail(path);
    if (tail) ExtractAnnouncedEntries(*tail, scratch);
  }  // the tail's reader thread is stopped and joined here
  if (ferrolan::fs::OwnedFile file = ferrolan::fs::OpenFile(path, "rb")) {
    ferrolan::tail::LocateParamsMarker(file.get());
  }
  scratch.Reset();
  return 0;
}
