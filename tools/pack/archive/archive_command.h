// archive: one folder into one compressed, optionally signed archive (folder_archive.h does the
// work; this is its command line).
#pragma once

#include <string>
#include <vector>

namespace ferrolan::pack {

/// archive FOLDER -o FILE.p2.l2 [--key PRIVATE]
/// Writes every folder and file under FOLDER as archive entries (folders before their content,
/// names in byte order), adds the signature block when a private key is given (DER or its hex
/// text, as keygen writes it), and compresses the whole as LZMA in the legacy container. The
/// entry stream goes through a temporary file beside the output, so memory stays bounded for
/// any folder size; the output appears under its name only when complete.
int RunArchive(const std::vector<std::string>& args);

}  // namespace ferrolan::pack
