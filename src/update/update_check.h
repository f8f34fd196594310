// The check of an update folder: fetch its signed metadata, decide whether to trust it, and
// find the components it offers that are newer than what is installed.
//
// Trust: the metadata's signature must verify with the launcher's key before anything in it is
// used; it must name this application; it must not be older than the metadata this master
// folder has already accepted (a replay of an older release is refused); and it must not have
// expired (a server kept on yesterday's metadata cannot hold back a release for long). A
// component is offered only when its version is higher than every installed one.
//
// Platforms: portable.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/update_metadata.h"
#include "net/download_race.h"

namespace ferrolan::archive {
class PublicKey;
}

namespace ferrolan::update {

/// What the update code needs to know of the installation.
struct UpdateContext {
  std::string masterFolder;
  std::string sharedConfigFolder;
  std::string appName;
  std::string jreName;
  std::string updateUrl;  // the effective update URL, with its trailing "/"
  const archive::PublicKey* key = nullptr;
  net::RaceEnvironment environment = net::SystemRaceEnvironment();
  /// Seconds since 1970-01-01 UTC; replaceable by tests.
  std::function<std::uint64_t()> now;
};

/// The current time as the metadata's expiry counts it.
std::uint64_t SecondsSince1970();

enum class CheckStatus {
  kAvailable,       // newer components are offered to this installation
  kUpToDate,        // nothing newer than what is installed
  kOffline,         // the update folder could not be reached
  kExpired,         // the metadata has expired
  kNotRolledOut,    // a staged roll-out has not reached this installation yet
  kRefused,         // the metadata is not to be trusted (see the log)
  kNoUpdateFolder,  // the launcher has no update URL
};

/// The word for a status that the launcher prints for the application's side: "available",
/// "up-to-date", "offline", "expired", "not-rolled-out", "refused", "no-update-folder".
const char* CheckStatusWord(CheckStatus status);

struct UpdateCheck {
  CheckStatus status = CheckStatus::kOffline;
  /// The metadata the decision rests on: the fetched one once accepted.
  std::optional<archive::UpdateMetadata> metadata;
  /// The components to install, each newer than what is installed; in the metadata's order.
  std::vector<archive::UpdateComponent> newer;
  /// The application's version after the update (or the installed one when it is current).
  std::string appVersion;
};

/// The installed version of a component: the highest complete folder's; 0 for none.
std::uint64_t InstalledVersion(const std::string& masterFolder, const std::string& component);

/// The components of `metadata` newer than what is installed. A JRE of another name than the
/// one this launcher runs is not offered.
std::vector<archive::UpdateComponent> NewerComponents(const UpdateContext& context,
                                                      const archive::UpdateMetadata& metadata);

/// True when the installed application must update before it starts: the release is critical
/// and newer, or the installed version is below the minimum.
bool UpdateRequired(const UpdateContext& context, const archive::UpdateMetadata& metadata);

/// The update folder's metadata as fetched, its signature and application checked.
struct FetchedMetadata {
  /// kAvailable when the metadata was fetched and verified; else kNoUpdateFolder, kOffline or
  /// kRefused.
  CheckStatus status = CheckStatus::kOffline;
  archive::UpdateMetadata metadata;
  std::string file;  // as signed
};

/// Fetches the metadata and checks its signature and the application it names; neither its
/// expiry nor the metadata accepted before. Refusals are logged.
FetchedMetadata FetchMetadata(const UpdateContext& context);

/// Fetches and judges the update folder's metadata; every step and every refusal is logged
/// under "[Update] ". Accepted metadata is kept in the shared-config folder.
UpdateCheck CheckForUpdates(const UpdateContext& context);

}  // namespace ferrolan::update
