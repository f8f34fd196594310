// Archive signatures: the RSA public key that verifies them, the hex decoding of key and
// signature text, and the check at the end of every archive.
//
// A signature is RSASSA-PSS (PKCS #1 v2.1) over the 64-byte mixed digest of every archive byte
// before the signature block, with the mixed hash also driving the PSS encoding and MGF1, a
// 64-byte salt, and libtomcrypt with LibTomMath doing the arithmetic.
//
// Platforms: identical on Windows and POSIX.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "archive/mixed_hash.h"

namespace ferrolan::archive {

/// Decodes hexadecimal text two digits at a time (either case) into `output`, stopping at the
/// end of the text or at the first pair that does not start with a hex digit, and writes a NUL
/// after the bytes produced. Returns the number of bytes produced. Never writes past
/// `outputSize`: when the result and its NUL would not fit, it prints
/// "[Utils] ERROR - HexToBytes is writing too far! %d %d\n" and stops early. Callers size the
/// output as (length of the text / 2 + 2) bytes, which always fits.
int HexToBytes(unsigned char* output, std::size_t outputSize, std::string_view hexText);

/// An RSA public key, freed on destruction. Its libtomcrypt key record stays inside this
/// library, so users of the key never see libtomcrypt's headers.
class PublicKey {
 public:
  ~PublicKey();
  PublicKey(const PublicKey&) = delete;
  PublicKey& operator=(const PublicKey&) = delete;

  struct Impl;  // the key record; defined where libtomcrypt is used
  const Impl& impl() const { return *impl_; }

 private:
  friend std::unique_ptr<PublicKey> ImportPublicKey(const unsigned char*, std::size_t);
  explicit PublicKey(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

/// Imports a DER SubjectPublicKeyInfo (or PKCS #1 RSAPublicKey) holding an RSA key. On failure
/// prints "ERROR - unable to import public key.\n" to standard output and returns null.
/// Makes LibTomMath libtomcrypt's big-number provider first.
std::unique_ptr<PublicKey> ImportPublicKey(const unsigned char* der, std::size_t length);

/// The process-wide verification key. The main flow (or the extraction test mode) sets it once,
/// before any archive is extracted; unarchiver threads only read it. Setting null forgets it.
void SetProcessPublicKey(std::unique_ptr<PublicKey> key);
const PublicKey* ProcessPublicKey();

/// The decision alone, without logging or ending the process: finishes `hash` and checks the
/// signature text against it with `key`. False for a missing key, a signature that does not
/// decode, a failing verify call, or a signature that does not match. `decoded`, when given, is
/// told the number of signature bytes decoded, before the signature is checked.
bool CheckSignature(MixedHashState& hash, std::string_view signatureHex, const PublicKey* key,
                    const std::function<void(int)>& decoded = nullptr);

/// The check at the end of ExtractArchive. Logs "[Unarchiver] Verifying signature\n" and
/// "[Unarchiver] Produced a signature of length %d\n"; on success logs
/// "[Unarchiver] Archive signature verified.\n" and returns true. False when `key` is null or
/// the signature does not match; the caller then rejects the archive (RejectArchive).
[[nodiscard]] bool VerifyArchiveSignature(MixedHashState& hash, std::string_view signatureHex,
                                          const PublicKey* key);

/// Rejects an archive: logs the failure banner (a line of 71 stars,
/// "[Unarchiver] ERROR - unable to verify signature of hash of archive.\n",
/// "[Unarchiver] Ferrolan will disregard this update.\n"), runs `removeExtracted` (which takes
/// back exactly what the archive created, never anything else in its destination) and logs the
/// star line again. The caller reports the rejection, and the run must not use anything that
/// was extracted.
void RejectArchive(const std::function<void()>& removeExtracted);

}  // namespace ferrolan::archive
