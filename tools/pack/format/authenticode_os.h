// The operating-system half of authenticode.h, implemented in authenticode_posix.cpp (libcrypto,
// osslsigncode as a child process) and authenticode_win.cpp (refuses). Private to the packager.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "pack/format/authenticode.h"

namespace ferrolan::pack::detail {

/// True when this build can read and change signatures; otherwise false with the reason.
bool CanHandleSignatures(std::string* reason);

/// The first signer of a DER PKCS #7 SignedData blob; none, with `error`, when unreadable.
std::optional<SignatureInfo> ReadSignatureInfo(std::span<const std::uint8_t> der,
                                               std::string* error);

/// The blob with the first signer's Params attribute set to `content`, as DER.
std::optional<std::vector<std::uint8_t>> WithParamsAttribute(std::span<const std::uint8_t> der,
                                                             std::span<const std::uint8_t> content,
                                                             std::string* error);

/// One run of osslsigncode with `arguments`.
SigningToolRun RunSigningTool(const std::vector<std::string>& arguments);

}  // namespace ferrolan::pack::detail
