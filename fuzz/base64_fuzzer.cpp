// DecodeBase64, the decoder of the Params section's "splash_image": any text, any length.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "tail/params.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ferrolan::fuzz::QuietLog();
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto image = ferrolan::tail::DecodeBase64(text);
  // The decoded length follows from the text's length alone; anything else is a decoder fault.
  if (image && image->size() > size / 4 * 3) __builtin_trap();
  return 0;
}
