// publish: the update folder a vendor puts on the update server, made from the configuration
// "build" takes.
#pragma once

#include <string>
#include <vector>

namespace ferrolan::pack {

/// publish --config FILE.json -o FOLDER [--force]
/// Writes the update folder: for every component the configuration has (updater, JRE,
/// application), its version file and its archive under the names an update server offers
/// them (tail/payload_layout.h), the archives packed like "build" packs them. The folder is
/// filled under a temporary sibling name and renamed when complete; a folder that is not empty
/// is replaced only with --force (kExitFailed without it). A bad configuration exits with
/// kExitUsage.
int RunPublish(const std::vector<std::string>& args);

}  // namespace ferrolan::pack
