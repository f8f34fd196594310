// The trust-store override: an updater folder may carry its own Java trust store, "cacerts",
// which replaces the trust store of a JRE set up in this run. Portable.
#pragma once

#include <string>

namespace ferrolan::jre {

/// The trust store of a JRE that the override replaces: jreFolder joined with "lib",
/// "security" and "cacerts". A nested jre folder is not looked at.
std::string TrustStorePath(const std::string& jreFolder);

/// Replaces the JRE's trust store with the file at overrideFile. The new content is written
/// beside the old trust store first and moved into place only when it is complete, so a
/// missing or unreadable override file or a failed write leaves the JRE with the trust store
/// it had. Nothing here stops the run; every outcome is logged under "[Extractor] ".
void OverrideCacerts(const std::string& overrideFile, const std::string& jreFolder);

/// The main flow's step after a JRE has been moved into its versioned folder: logs the step,
/// and calls OverrideCacerts when the override file exists, else logs that it does not.
void ApplyCacertsOverride(const std::string& overrideFile, const std::string& jreFolder);

}  // namespace ferrolan::jre
