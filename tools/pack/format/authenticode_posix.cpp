#include <openssl/asn1.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <memory>

#include "pack/format/authenticode_os.h"
#include "pack/support/quiet_log.h"
#include "process/spawner.h"

namespace ferrolan::pack::detail {
namespace {

struct Pkcs7Free {
  void operator()(PKCS7* p) const { PKCS7_free(p); }
};
struct OctetStringFree {
  void operator()(ASN1_OCTET_STRING* p) const { ASN1_OCTET_STRING_free(p); }
};
struct OpenSslFree {
  void operator()(unsigned char* p) const { OPENSSL_free(p); }
};
using Pkcs7Ptr = std::unique_ptr<PKCS7, Pkcs7Free>;

// The NID of the Params attribute type, registered with libcrypto's object table on first use.
int ParamsNid() {
  static const int nid = [] {
    int known = OBJ_txt2nid(kParamsAttributeOid);
    if (known != NID_undef) return known;
    return OBJ_create(kParamsAttributeOid, "ferrolanParams", "Ferrolan Params section");
  }();
  return nid;
}

// The blob and its first signer; none, with `error`, when it is not a signed PKCS #7 blob.
Pkcs7Ptr ParseSigned(std::span<const std::uint8_t> der, PKCS7_SIGNER_INFO** signer,
                     std::string* error) {
  const unsigned char* cursor = der.data();
  Pkcs7Ptr p7(d2i_PKCS7(nullptr, &cursor, static_cast<long>(der.size())));
  if (!p7 || !PKCS7_type_is_signed(p7.get())) {
    *error = "the signature is not a PKCS #7 SignedData blob";
    return nullptr;
  }
  STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(p7.get());
  if (signers == nullptr || sk_PKCS7_SIGNER_INFO_num(signers) < 1) {
    *error = "the signature has no signer";
    return nullptr;
  }
  *signer = sk_PKCS7_SIGNER_INFO_value(signers, 0);
  return p7;
}

}  // namespace

bool CanHandleSignatures(std::string*) { return true; }

std::optional<SignatureInfo> ReadSignatureInfo(std::span<const std::uint8_t> der,
                                               std::string* error) {
  PKCS7_SIGNER_INFO* signer = nullptr;
  Pkcs7Ptr p7 = ParseSigned(der, &signer, error);
  if (!p7) return std::nullopt;
  SignatureInfo info;
  X509* certificate = PKCS7_cert_from_signer_info(p7.get(), signer);
  if (certificate != nullptr) {
    std::unique_ptr<char, void (*)(char*)> subject(
        X509_NAME_oneline(X509_get_subject_name(certificate), nullptr, 0),
        [](char* p) { OPENSSL_free(p); });
    if (subject) info.signerSubject = subject.get();
  }
  ASN1_TYPE* value = PKCS7_get_attribute(signer, ParamsNid());
  if (value != nullptr && value->type == V_ASN1_OCTET_STRING) {
    const ASN1_OCTET_STRING* content = value->value.octet_string;
    const unsigned char* bytes = ASN1_STRING_get0_data(content);
    info.hasParamsAttribute = true;
    info.paramsAttribute.assign(bytes, bytes + ASN1_STRING_length(content));
  }
  return info;
}

std::optional<std::vector<std::uint8_t>> WithParamsAttribute(std::span<const std::uint8_t> der,
                                                             std::span<const std::uint8_t> content,
                                                             std::string* error) {
  PKCS7_SIGNER_INFO* signer = nullptr;
  Pkcs7Ptr p7 = ParseSigned(der, &signer, error);
  if (!p7) return std::nullopt;
  std::unique_ptr<ASN1_OCTET_STRING, OctetStringFree> value(ASN1_OCTET_STRING_new());
  if (!value ||
      !ASN1_OCTET_STRING_set(value.get(), content.data(), static_cast<int>(content.size()))) {
    *error = "out of memory";
    return std::nullopt;
  }
  // An attribute of the same type is replaced in place; the value belongs to the signer info
  // once it has been added.
  if (!PKCS7_add_attribute(signer, ParamsNid(), V_ASN1_OCTET_STRING, value.get())) {
    *error = "the Params attribute cannot be added to the signature";
    return std::nullopt;
  }
  value.release();
  unsigned char* encoded = nullptr;
  const int length = i2d_PKCS7(p7.get(), &encoded);
  std::unique_ptr<unsigned char, OpenSslFree> owned(encoded);
  if (length <= 0) {
    *error = "the signature cannot be encoded";
    return std::nullopt;
  }
  return std::vector<std::uint8_t>(encoded, encoded + length);
}

SigningToolRun RunSigningTool(const std::vector<std::string>& arguments) {
  QuietLog quiet;  // the Spawner logs what it starts, for a launcher's log
  process::Spawner spawner = process::SpawnerCreate();
  process::SpawnerSetExe(spawner, "osslsigncode");
  for (const std::string& argument : arguments) process::SpawnerAppend(spawner, argument);
  SigningToolRun run;
  run.exitCode = process::runSpawnerAndWaitQuietly(spawner, run.output);
  if (run.exitCode == 127 && run.output.empty()) run.exitCode = -1;
  return run;
}

}  // namespace ferrolan::pack::detail
