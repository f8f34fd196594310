// sign: Authenticode for a packaged Windows launcher.
#pragma once

#include <string>
#include <vector>

namespace ferrolan::pack {

/// sign LAUNCHER --cert CERT --key KEY [--timestamp URL] [-o FILE]
/// Signs a packaged Windows launcher with Authenticode through osslsigncode: the Params
/// section is cut off first (it would otherwise lie in the signed range and be found first
/// for ever), the rest is signed, and the Params go into the signature (signed_launcher.h).
/// An ELF launcher, or a build without libcrypto, fails with kExitFailed and says why.
int RunSign(const std::vector<std::string>& args);

}  // namespace ferrolan::pack
