#include "pack/format/authenticode_os.h"

namespace ferrolan::pack::detail {
namespace {

const char* const kNoSupport =
    "this build of ferrolan-pack (Windows) cannot sign launchers or change a signature: it "
    "carries no libcrypto and no osslsigncode; run the Linux build of ferrolan-pack for this";

}  // namespace

bool CanHandleSignatures(std::string* reason) {
  *reason = kNoSupport;
  return false;
}

std::optional<SignatureInfo> ReadSignatureInfo(std::span<const std::uint8_t>, std::string* error) {
  *error = kNoSupport;
  return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> WithParamsAttribute(std::span<const std::uint8_t>,
                                                             std::span<const std::uint8_t>,
                                                             std::string* error) {
  *error = kNoSupport;
  return std::nullopt;
}

SigningToolRun RunSigningTool(const std::vector<std::string>&) { return {-1, kNoSupport}; }

}  // namespace ferrolan::pack::detail
