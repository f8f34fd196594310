// Reading and changing an Authenticode signature blob (PKCS #7 SignedData), and running the
// signing tool. The native build does both with libcrypto and osslsigncode; the Windows build of
// ferrolan-pack carries no libcrypto, so there every function reports that it cannot.
//
// The Params section of a signed launcher is carried as an unauthenticated attribute of the
// signer: attribute type kParamsAttributeOid, one OCTET STRING value. Unauthenticated
// attributes are outside what the signature covers, so the attribute can be replaced per
// download while the signature stays valid.
//
// Platforms: POSIX reads and writes the blob with libcrypto and runs the tool as a child
// process; Windows refuses every call with a message (authenticode_os.h).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ferrolan::pack {

/// The attribute type of the Params attribute (docs/format.md).
inline constexpr const char* kParamsAttributeOid = "1.3.6.1.4.1.32473.1760.1";

/// True when this build can read and change signatures; otherwise false with the reason.
bool CanHandleSignatures(std::string* reason);

/// What a signature blob says.
struct SignatureInfo {
  std::string signerSubject;  // the signer certificate's subject, "/CN=.../O=..."
  bool hasParamsAttribute = false;
  std::vector<std::uint8_t> paramsAttribute;  // the OCTET STRING's content
};

/// Reads the first signer of a DER PKCS #7 SignedData blob. None, with `error`, when the blob
/// cannot be read.
std::optional<SignatureInfo> ReadSignatureInfo(std::span<const std::uint8_t> der,
                                               std::string* error);

/// The blob with the first signer's Params attribute set to `content` (added, or replacing the
/// one there), re-encoded as DER. None, with `error`, when the blob cannot be read or written.
std::optional<std::vector<std::uint8_t>> WithParamsAttribute(std::span<const std::uint8_t> der,
                                                             std::span<const std::uint8_t> content,
                                                             std::string* error);

/// One run of the signing tool (osslsigncode) with `arguments`: its exit code (-1 when it could
/// not be started) and what it printed.
struct SigningToolRun {
  int exitCode = -1;
  std::string output;
};
SigningToolRun RunSigningTool(const std::vector<std::string>& arguments);

}  // namespace ferrolan::pack
