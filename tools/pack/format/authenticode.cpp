#include "pack/format/authenticode.h"

#include "pack/format/authenticode_os.h"

namespace ferrolan::pack {

bool CanHandleSignatures(std::string* reason) { return detail::CanHandleSignatures(reason); }

std::optional<SignatureInfo> ReadSignatureInfo(std::span<const std::uint8_t> der,
                                               std::string* error) {
  return detail::ReadSignatureInfo(der, error);
}

std::optional<std::vector<std::uint8_t>> WithParamsAttribute(std::span<const std::uint8_t> der,
                                                             std::span<const std::uint8_t> content,
                                                             std::string* error) {
  return detail::WithParamsAttribute(der, content, error);
}

SigningToolRun RunSigningTool(const std::vector<std::string>& arguments) {
  return detail::RunSigningTool(arguments);
}

}  // namespace ferrolan::pack
