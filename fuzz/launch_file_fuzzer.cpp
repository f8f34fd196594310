// The launch file reader: ReadLaunchFile on any bytes, through a C stream as the launch opens
// the file of an installed application.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "launch/launch_sequence.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ferrolan::fuzz::QuietLog();
  std::string storage;
  ferrolan::fs::OwnedFile file = ferrolan::fuzz::MemoryStream(storage, data, size);
  if (!file) return 0;
  ferrolan::launch::LaunchFile launch = ferrolan::launch::ReadLaunchFile(file.get());
  // Each list entry took at least its NUL or the end of the file: a list longer than the input
  // would mean entries invented out of nothing.
  if (launch.classpath.size() + launch.extraArguments.size() + launch.appJvmOptions.size() >
      size + 3)
    __builtin_trap();
  return 0;
}
