// Params in a signed Windows launcher. The section (marker, count, pairs) is the content of the
// signer's Params attribute (authenticode.h), behind one guard byte: the launcher finds it by
// its marker alone, and the byte in front of the marker is then never one that could hide it
// from a search that does not test a mismatching byte again. The signed image, the tail and
// the archives stay byte for byte as signed; only the certificate table, its size in the data
// directory and the header checksum change, none of which the signature covers.
//
// Platforms: portable; the signature blob itself is read and written through authenticode.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pack/format/authenticode.h"
#include "pack/format/payload_writer.h"
#include "pack/format/pe_file.h"

namespace ferrolan::pack {

/// Where a launcher's first Params marker lies.
enum class ParamsPlace {
  kAppended,           // after the payload of an unsigned launcher
  kInsideSignature,    // in the certificate table of a signed launcher
  kAfterSignature,     // appended behind a signature: a verifier refuses the file
  kInsideSignedRange,  // in front of the certificate table, covered by the signature
};

/// The place of a Params marker at `markerOffset` in a file with `layout`.
ParamsPlace PlaceOfParams(const PeLayout& layout, std::uint64_t markerOffset);

/// A short description of the place ("inside the signature", ...).
const char* DescribePlace(ParamsPlace place);

/// The attribute's content for `params`: the guard byte, the Params marker, the count and pairs.
std::vector<std::uint8_t> ParamsAttributeContent(const std::vector<Param>& params);

/// The signature of a signed PE launcher.
struct LauncherSignature {
  PeLayout layout;
  std::vector<std::uint8_t> der;  // the PKCS #7 blob of the certificate table
  SignatureInfo info;
};

/// Reads the signature of `path`. None, with `error`, when the file is not a signed PE image or
/// its signature cannot be read (also in a build that cannot handle signatures).
std::optional<LauncherSignature> ReadLauncherSignature(const std::string& path, std::string* error);

/// Writes `output` as `input` (signed, with `signature` read from it) whose signature carries
/// `params`, replacing any Params attribute there. Everything before the certificate table is
/// kept; anything after it is left out. False, with `error`, on failure.
bool WriteSignedParams(const std::string& input, const LauncherSignature& signature,
                       const std::vector<Param>& params, const std::string& output,
                       std::string* error);

}  // namespace ferrolan::pack
