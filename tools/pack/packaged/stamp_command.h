// stamp: new Params for a packaged launcher, and nothing else.
#pragma once

#include <string>
#include <vector>

namespace ferrolan::pack {

/// stamp LAUNCHER [--set NAME=VALUE]... [--unset NAME]... [-o FILE]
/// Rewrites the Params section only; every byte before it stays identical.
int RunStamp(const std::vector<std::string>& args);

}  // namespace ferrolan::pack
