// inspect: what a packaged launcher carries, checked the way a launcher checks it.
#pragma once

#include <string>
#include <vector>

namespace ferrolan::pack {

/// inspect LAUNCHER
/// Prints the tail fields, the entries and the Params and verifies every carried archive's
/// signature; kExitFailed when one fails or the layout cannot be read.
int RunInspect(const std::vector<std::string>& args);

}  // namespace ferrolan::pack
