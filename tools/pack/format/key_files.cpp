#include "pack/format/key_files.h"

#include <fstream>
#include <iterator>
#include <string_view>

namespace ferrolan::pack {

std::string PrivateKeyFileName(const std::string& name) { return name + ".private.der"; }
std::string PublicDerFileName(const std::string& name) { return name + ".public.der"; }
std::string PublicHexFileName(const std::string& name) { return name + ".public.hex"; }

std::unique_ptr<archive::SigningKey> LoadSigningKey(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read the key file " + path;
    return nullptr;
  }
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::unique_ptr<archive::SigningKey> key;
  // A DER key starts with a SEQUENCE tag; anything else is taken as hex text, surrounding
  // white space (a final line end) allowed.
  if (!bytes.empty() && static_cast<unsigned char>(bytes[0]) == 0x30) {
    key = archive::SigningKey::FromPrivateDer(reinterpret_cast<const unsigned char*>(bytes.data()),
                                              bytes.size());
  } else {
    std::size_t first = bytes.find_first_not_of(" \t\r\n");
    std::size_t last = bytes.find_last_not_of(" \t\r\n");
    if (first != std::string::npos) {
      key = archive::SigningKey::FromPrivateHex(
          std::string_view(bytes).substr(first, last - first + 1));
    }
  }
  if (!key) *error = path + " does not hold an RSA private key";
  return key;
}

}  // namespace ferrolan::pack
