// The install of the components an update check found: each archive is downloaded, checked
// against the length and SHA-256 the metadata declares, verified and written while it arrives,
// into a folder of its own that gets its versioned name only when every component is
// complete. One process at a time installs into a master folder; what a killed install left
// behind is removed by the next one.
//
// Platforms: portable.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive/update_metadata.h"
#include "net/download_pipelines.h"
#include "update/update_check.h"

namespace ferrolan::update {

/// The name prefix of the folders an install fills: "FerrolanUpdate-<seconds>-<n>".
inline constexpr const char* kUpdateFolderPrefix = "FerrolanUpdate-";

enum class InstallStatus {
  kInstalled,  // every component is in place under its versioned name
  kBusy,       // another process is installing updates into this master folder
  kFailed,     // a download, a check or a write failed (see the log); nothing was put in place
  kStopped,    // stopped from outside; nothing was put in place
};

struct InstallOptions {
  /// Stops the downloads from another thread (may be null).
  net::PipelineStop* stop = nullptr;
  /// Overall progress in percent, by bytes of the archives (may be empty).
  std::function<void(int percent)> progress;
  /// Makes a freshly extracted JRE ready to run: its class-data archive, its trust store
  /// (may be empty).
  std::function<void(const std::string& jreFolder)> prepareJre;
};

/// Installs `components`. Folders are named in the master folder; a component whose versioned
/// folder appeared meanwhile (another launcher installed it) is taken as installed.
InstallStatus InstallUpdates(const UpdateContext& context,
                             const std::vector<archive::UpdateComponent>& components,
                             const InstallOptions& options);

}  // namespace ferrolan::update
