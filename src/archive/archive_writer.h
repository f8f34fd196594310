// The producing side of the archive format: entry writing, the signature block, and the RSA key
// pair that signs archives. The packager and the tests use it; the launcher itself only reads.
//
// An archive is a sequence of entries, each made of NUL-terminated text fields (type, path,
// length) followed by raw content, and ends with a signature block whose signature covers every
// byte before it. The writer produces the uncompressed entry stream; compressing it (LZMA in the
// legacy container) is the caller's job. The same entry form is used for the files carried in
// the wrapper tail, which are written without hashing or signature: use EncodeEntryHeader for
// those, or an ArchiveWriter that is never finished with a key.
//
// Platforms: identical on Windows and POSIX. Key generation draws from the system's random
// source (CryptGenRandom on Windows, /dev/urandom on POSIX) through libtomcrypt's "sprng".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/entry_format.h"
#include "archive/mixed_hash.h"

namespace ferrolan::archive {

/// Upper-case hexadecimal text of bytes, two digits a byte.
std::string BytesToHex(const unsigned char* bytes, std::size_t length);

/// The header fields of one entry, each with its NUL: type, path and, unless the type is
/// kFolder, the decimal length. The content (`length` raw bytes) follows it in the stream.
std::string EncodeEntryHeader(EntryType type, std::string_view path, std::int64_t length);

/// An RSA private key that signs archives (libtomcrypt key record, freed on destruction).
class SigningKey {
 public:
  ~SigningKey();
  SigningKey(const SigningKey&) = delete;
  SigningKey& operator=(const SigningKey&) = delete;

  /// A new key pair with public exponent 65537. The archives of the system use 4096 bits;
  /// smaller sizes exist for quick tests. Returns null on failure (message on stderr).
  static std::unique_ptr<SigningKey> Generate(int bits = 4096);
  /// Imports a private key in DER (PKCS #1 RSAPrivateKey, as PrivateDer writes it).
  static std::unique_ptr<SigningKey> FromPrivateDer(const unsigned char* der, std::size_t length);
  /// Same, from hexadecimal text (either case).
  static std::unique_ptr<SigningKey> FromPrivateHex(std::string_view hex);

  int Bits() const;
  /// PKCS #1 RSAPrivateKey DER of the whole key pair, and its hex text.
  std::vector<unsigned char> PrivateDer() const;
  std::string PrivateHex() const;
  /// DER SubjectPublicKeyInfo of the public half, and its hex text: the form of the tail's
  /// "Signature Public Key" field (1100 digits for a 4096-bit key).
  std::vector<unsigned char> PublicDer() const;
  std::string PublicHex() const;

  /// RSASSA-PSS signature over a 64-byte mixed digest, with the mixed hash as the PSS and MGF1
  /// hash and a 64-byte salt; as many bytes as the modulus. Empty on failure.
  std::vector<unsigned char> SignDigest(const unsigned char (&digest)[kMixedDigestSize]) const;

  struct Impl;

 private:
  explicit SigningKey(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

/// Writes an archive's entry stream to a sink and keeps the mixed hash of everything written,
/// so Finish can sign it. Every operation returns false once the sink has failed or the call
/// breaks the format (a length beyond 2^31-1, content not matching its announced length, a
/// path the reader would refuse); after that the writer stays failed.
class ArchiveWriter {
 public:
  /// Receives the bytes in stream order; returns false to report a write failure.
  using Sink = std::function<bool(const void* data, std::size_t length)>;

  explicit ArchiveWriter(Sink sink);
  ~ArchiveWriter();
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  /// A folder entry. `path` is relative, components separated by "/".
  bool AddFolder(std::string_view path);
  /// A whole file entry from memory (type kFile or kPack200).
  bool AddFile(std::string_view path, std::string_view content, EntryType type = EntryType::kFile);
  /// A file entry whose content is streamed: BeginFile announces the length, AppendContent
  /// supplies exactly that many bytes in any number of pieces.
  bool BeginFile(std::string_view path, std::int64_t length, EntryType type = EntryType::kFile);
  bool AppendContent(const void* data, std::size_t length);
  /// A file entry with the content of a file on disk.
  bool AddFileFromDisk(std::string_view path, const std::string& sourceFile,
                       EntryType type = EntryType::kFile);
  /// Every folder and file under `folder`, in a stable order: names sorted by their bytes, each
  /// folder's entry before its content. `prefix`, when not empty, is put before every path
  /// ("prefix/name"). `progress`, when given, is called after each file with its byte count.
  bool AddFolderTree(const std::string& folder, std::string_view prefix = {},
                     const std::function<void(std::uint64_t)>& progress = {});

  /// Ends the archive: with a key, appends the signature block over everything written so
  /// far; without one, writes nothing more (an unsigned archive). The writer accepts nothing
  /// after this.
  bool Finish(const SigningKey* key);

  /// The mixed digest of every byte written so far: what a signature made now would cover.
  /// Meaningful before Finish.
  std::array<unsigned char, kMixedDigestSize> DigestSoFar() const;

  /// Bytes handed to the sink so far.
  std::uint64_t BytesWritten() const { return written_; }
  bool Failed() const { return failed_; }

 private:
  bool Emit(const void* data, std::size_t length);
  bool CloseContent();

  Sink sink_;
  MixedHashState hash_;
  std::uint64_t written_ = 0;
  std::int64_t contentDue_ = 0;
  bool failed_ = false;
  bool finished_ = false;
};

}  // namespace ferrolan::archive
