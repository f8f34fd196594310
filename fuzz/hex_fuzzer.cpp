// HexToBytes, the decoder of the tail's public key and of every signature's hex text. The first
// input byte picks the output size, from far too small to the size the callers use, so the
// bound on the output is exercised as well as the decoding; the output is an exact-size heap
// block, so one byte too many is caught by AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "archive/signature.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ferrolan::fuzz::QuietLog();
  if (size == 0) return 0;
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t callersSize = text.size() / 2 + 2;
  const std::size_t outputSize = data[0] == 0xFF ? callersSize : data[0] % (callersSize + 1);
  std::vector<unsigned char> output(outputSize);
  int produced = ferrolan::archive::HexToBytes(output.data(), output.size(), text);
  if (produced < 0 || (outputSize > 0 && static_cast<std::size_t>(produced) >= outputSize))
    __builtin_trap();
  return 0;
}
