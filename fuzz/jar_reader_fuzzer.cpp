// The packager's jar reader: the central directory, the zip64 records and the manifest of any
// bytes, as a vendor's damaged or hostile jar would hand them over, then the manifest parser.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "pack/format/jar_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string error;
  std::optional<ferrolan::pack::JarIndex> index = ferrolan::pack::ReadJarIndex(
      [&bytes](std::uint64_t offset, std::size_t length, std::string* out) {
        if (offset > bytes.size() || bytes.size() - offset < length) return false;
        *out = bytes.substr(static_cast<std::size_t>(offset), length);
        return true;
      },
      bytes.size(), &error);
  if (!index) return 0;
  // Every name came from a central directory record of at least 46 bytes of the input.
  if (index->names.size() > size / 46 + 1) __builtin_trap();
  if (index->manifest) {
    ferrolan::pack::Manifest manifest = ferrolan::pack::ParseManifest(*index->manifest);
    if (manifest.mainClass.size() > index->manifest->size()) __builtin_trap();
    (void)ferrolan::pack::ClassEntryName(manifest.mainClass);
  }
  return 0;
}
