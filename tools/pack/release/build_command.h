// build: a packaged launcher from a JSON configuration or from jpackage-style flags.
#pragma once

#include <string>
#include <vector>

namespace ferrolan::pack {

/// build --config FILE.json -o OUTPUT [--launcher IMAGE]
/// Packages a launcher: image, wrapper tail (eleven fields and the entries in the order the
/// launcher consumes them, folders packed like "archive") and Params section. A bad
/// configuration (syntax, unknown or missing settings, missing files) exits with kExitUsage.
int RunBuild(const std::vector<std::string>& args);

}  // namespace ferrolan::pack
