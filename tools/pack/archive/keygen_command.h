// keygen: the RSA key pair that signs archives.
#pragma once

#include <string>
#include <vector>

namespace ferrolan::pack {

/// keygen -o NAME [--bits N] [--force]
/// Writes NAME.private.der (PKCS #1 RSAPrivateKey, owner-only where the system allows it),
/// NAME.public.der (DER SubjectPublicKeyInfo) and NAME.public.hex (that DER as upper-case hex
/// text without a line end: the form of the tail's "Signature Public Key" field). Existing key
/// files are kept unless --force is given: overwriting a private key by mistake would leave
/// every installed application unable to accept further updates.
int RunKeygen(const std::vector<std::string>& args);

}  // namespace ferrolan::pack
