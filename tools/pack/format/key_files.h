// The key files "keygen" writes and every signing command reads: NAME.private.der (the private
// key, PKCS #1 DER), NAME.public.der (DER SubjectPublicKeyInfo) and NAME.public.hex (that DER
// as upper-case hex text, the form of the tail's "Signature Public Key" field).
//
// Platforms: portable.
#pragma once

#include <memory>
#include <string>

#include "archive/archive_writer.h"

namespace ferrolan::pack {

/// The file names keygen derives from NAME.
std::string PrivateKeyFileName(const std::string& name);
std::string PublicDerFileName(const std::string& name);
std::string PublicHexFileName(const std::string& name);

/// Reads a private signing key in either form keygen writes (DER, or its hex text with optional
/// surrounding white space). Null, with `error` set, when the file cannot be read or holds no
/// RSA private key.
std::unique_ptr<archive::SigningKey> LoadSigningKey(const std::string& path, std::string* error);

}  // namespace ferrolan::pack
