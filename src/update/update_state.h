// What a master folder remembers of its updates, in its shared-config folder: the newest
// update metadata it has accepted (so older metadata, replayed, is refused, and the next start
// knows of a release that must not wait) and the number that places this installation in a
// staged roll-out. Both files are written like every other file there: atomically, and never
// through a link.
//
// Platforms: identical on Windows and POSIX.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "archive/update_metadata.h"

namespace ferrolan::archive {
class PublicKey;
}

namespace ferrolan::update {

/// The shared-config folder's file that keeps the accepted metadata, exactly as it was signed.
inline constexpr const char* kAcceptedMetadataFileName = "AcceptedUpdateMetadata";
/// The shared-config folder's file that keeps the installation's roll-out number.
inline constexpr const char* kRolloutNumberFileName = "UpdateRolloutNumber";
/// The shared-config folder's lock file of installs of updates.
inline constexpr const char* kUpdateLockFileName = "UpdateLock";

/// The accepted metadata, read back and verified again with `key`; none when there is none
/// (or what is there no longer verifies: then nothing was accepted as far as this start knows).
std::optional<archive::UpdateMetadata> AcceptedMetadata(const std::string& sharedConfigFolder,
                                                        const archive::PublicKey* key);

/// Keeps `file` (verified metadata) as the accepted metadata. False when it cannot be written.
bool AcceptMetadata(const std::string& sharedConfigFolder, const std::string& file);

/// This installation's roll-out number, 0 to 99: drawn at random once and kept, never sent
/// anywhere. A release rolled out to P percent reaches the installations whose number is
/// below P.
int RolloutNumber(const std::string& sharedConfigFolder);

}  // namespace ferrolan::update
