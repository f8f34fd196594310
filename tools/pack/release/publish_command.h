// publish: the update folder a vendor puts on the update server, made from the configuration
// "build" takes.
#pragma once

#include <string>
#include <vector>

namespace ferrolan::pack {

/// publish (--config FILE.json | the flags build takes) -o FOLDER [--force] [--prune]
///         [--expires-days N] [--critical] [--minimum-version V] [--rollout PERCENT]
/// publish --refresh (--config FILE.json | --key KEY) -o FOLDER [--expires-days N]
///         [--rollout PERCENT] [--prune]
/// Publishes a release: for every component the configuration has (updater, JRE,
/// application), its archive and version file under the names an update server offers them
/// (tail/payload_layout.h), the archives packed like "build" packs them, and, with a key, the
/// signed metadata naming them (archive/update_metadata.h). A new or empty folder is filled
/// under a temporary sibling name and renamed when complete; into an existing update folder
/// the release is added (release_plan.h, release_writer.h); a folder that holds anything else
/// is replaced only with --force (kExitFailed without it). --refresh signs the folder's
/// metadata again with a new expiry. Bad options or a bad configuration exit with kExitUsage.
int RunPublish(const std::vector<std::string>& args);

}  // namespace ferrolan::pack
