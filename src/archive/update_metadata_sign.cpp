// The signing half of the update metadata, for the packager: kept apart from the reader, which
// every launcher links, so the launcher does not link the archive writer.
#include <string>
#include <utility>
#include <vector>

#include "archive/archive_writer.h"
#include "archive/mixed_hash.h"
#include "archive/update_metadata.h"

namespace ferrolan::archive {

std::string SignUpdateMetadata(const UpdateMetadata& metadata, const SigningKey& key) {
  std::string text = EncodeUpdateMetadata(metadata);
  if (text.empty()) return {};
  return SignMetadataText(std::move(text), key);
}

std::string SignMetadataText(std::string text, const SigningKey& key) {
  MixedHashState hash;
  MixedHash_init(&hash);
  MixedHash_process(&hash, reinterpret_cast<const unsigned char*>(text.data()),
                    static_cast<unsigned long>(text.size()));
  unsigned char digest[kMixedDigestSize];
  MixedHash_done(&hash, digest);
  const std::vector<unsigned char> signature = key.SignDigest(digest);
  if (signature.empty()) return {};
  text += std::string(kUpdateMetadataSignatureKey) +
          BytesToHex(signature.data(), signature.size()) + "\n";
  return text;
}

}  // namespace ferrolan::archive
