// The Params reader as the main flow runs it: ProcessParams on a launcher file, with the marker
// search and the file reader on its own thread feeding the 200 KiB ring, so a Params section
// that would leave the two threads waiting on each other shows up as a time-out. The input is
// what follows the Params marker (count, names and values); the harness puts the marker in
// front, so the mutations are not spent on finding it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tail/markers.h"
#include "tail/params.h"
#include "tail/properties_block.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ferrolan::fuzz::QuietLog();
  static const ferrolan::fuzz::Scratch scratch("params");
  const auto& marker = ferrolan::tail::ParamsMarker();
  std::string file(marker.begin(), marker.end());
  file.append(reinterpret_cast<const char*>(data), size);
  const std::string path = scratch.WriteFile("launcher.bin", file.data(), file.size());
  ferrolan::tail::LaunchPropertiesBlock list;
  auto state = ferrolan::tail::ProcessParams(path, list, (size & 1) != 0);
  // Every property that was read is in the list: two strings for each.
  if (state && state->count >= 0 &&
      list.Entries().size() / 2 > static_cast<std::size_t>(state->count))
    __builtin_trap();
  return 0;
}
