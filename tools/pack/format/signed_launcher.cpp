#include "pack/format/signed_launcher.h"

#include "tail/markers.h"

namespace ferrolan::pack {

ParamsPlace PlaceOfParams(const PeLayout& layout, std::uint64_t markerOffset) {
  if (!layout.signedFile()) return ParamsPlace::kAppended;
  const std::uint64_t start = layout.certificateTableOffset;
  const std::uint64_t end = start + layout.certificateTableSize;
  if (markerOffset < start) return ParamsPlace::kInsideSignedRange;
  return markerOffset < end ? ParamsPlace::kInsideSignature : ParamsPlace::kAfterSignature;
}

const char* DescribePlace(ParamsPlace place) {
  switch (place) {
    case ParamsPlace::kAppended:
      return "appended after the payload";
    case ParamsPlace::kInsideSignature:
      return "inside the signature (unauthenticated attribute)";
    case ParamsPlace::kAfterSignature:
      return "appended after the signature";
    case ParamsPlace::kInsideSignedRange:
      return "inside the signed range, before the signature";
  }
  return "unknown";
}

std::vector<std::uint8_t> ParamsAttributeContent(const std::vector<Param>& params) {
  const auto& marker = tail::ParamsMarker();
  std::vector<std::uint8_t> content;
  // The length octets of the OCTET STRING precede the content and may be any byte value.
  content.push_back(GuardByte(marker));
  content.insert(content.end(), marker.begin(), marker.end());
  const std::string section = EncodeParamsSection(params);
  content.insert(content.end(), section.begin(), section.end());
  return content;
}

std::optional<LauncherSignature> ReadLauncherSignature(const std::string& path,
                                                       std::string* error) {
  std::optional<PeLayout> layout = ReadPeLayout(path, error);
  if (!layout) return std::nullopt;
  if (!layout->signedFile()) {
    *error = path + " is not signed";
    return std::nullopt;
  }
  std::optional<std::vector<std::uint8_t>> table = ReadCertificateTable(path, *layout, error);
  if (!table) return std::nullopt;
  std::optional<std::vector<std::uint8_t>> der = CertificateTableContent(*table, error);
  if (!der) return std::nullopt;
  std::optional<SignatureInfo> info = ReadSignatureInfo(*der, error);
  if (!info) return std::nullopt;
  return LauncherSignature{*layout, std::move(*der), std::move(*info)};
}

bool WriteSignedParams(const std::string& input, const LauncherSignature& signature,
                       const std::vector<Param>& params, const std::string& output,
                       std::string* error) {
  const std::vector<std::uint8_t> content = ParamsAttributeContent(params);
  std::optional<std::vector<std::uint8_t>> der = WithParamsAttribute(signature.der, content, error);
  if (!der) return false;
  const std::vector<std::uint8_t> table = EncodeCertificateTable(*der);
  return WriteWithCertificateTable(input, signature.layout, signature.layout.certificateTableOffset,
                                   table, output, error);
}

}  // namespace ferrolan::pack
