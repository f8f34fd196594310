#include "update/update_check.h"

#include <chrono>

#include "fs/file_ops.h"
#include "fs/path.h"
#include "fs/versioned_folder.h"
#include "log/log.h"
#include "net/download_pipelines.h"
#include "net/proxy_settings.h"
#include "net/version_probe.h"
#include "tail/payload_layout.h"
#include "update/update_state.h"

namespace ferrolan::update {
namespace {

using archive::UpdateComponentKind;
using log::LogPrintf;

UpdateCheck Checked(CheckStatus status) {
  UpdateCheck check;
  check.status = status;
  return check;
}

UpdateCheck Refused(const char* why, const std::string& detail = {}) {
  LogPrintf("[Update] Refusing the update metadata: %s%s\n", why, detail.c_str());
  return Checked(CheckStatus::kRefused);
}

std::string InstalledName(const UpdateContext& context, UpdateComponentKind kind) {
  switch (kind) {
    case UpdateComponentKind::kUpdater:
      return tail::kUpdaterName;
    case UpdateComponentKind::kJre:
      return context.jreName;
    case UpdateComponentKind::kApp:
      break;
  }
  return context.appName;
}

}  // namespace

std::uint64_t SecondsSince1970() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::seconds>(since).count());
}

const char* CheckStatusWord(CheckStatus status) {
  switch (status) {
    case CheckStatus::kAvailable:
      return "available";
    case CheckStatus::kUpToDate:
      return "up-to-date";
    case CheckStatus::kOffline:
      return "offline";
    case CheckStatus::kExpired:
      return "expired";
    case CheckStatus::kNotRolledOut:
      return "not-rolled-out";
    case CheckStatus::kRefused:
      return "refused";
    case CheckStatus::kNoUpdateFolder:
      break;
  }
  return "no-update-folder";
}

std::uint64_t InstalledVersion(const std::string& masterFolder, const std::string& component) {
  const std::optional<std::string> folder = fs::PickFolder(masterFolder, component);
  if (!folder) return 0;
  const std::int64_t version = fs::FolderVersion(*folder);
  return version > 0 ? static_cast<std::uint64_t>(version) : 0;
}

std::vector<archive::UpdateComponent> NewerComponents(const UpdateContext& context,
                                                      const archive::UpdateMetadata& metadata) {
  std::vector<archive::UpdateComponent> newer;
  for (const archive::UpdateComponent& component : metadata.components) {
    const std::string name = InstalledName(context, component.kind);
    if (component.name != name) {
      LogPrintf("[Update] Not offering %s %s: this installation runs %s\n",
                archive::UpdateComponentKey(component.kind), component.name.c_str(), name.c_str());
      continue;
    }
    const std::uint64_t installed = InstalledVersion(context.masterFolder, name);
    if (archive::VersionValue(component.version) <= installed) continue;
    LogPrintf("[Update] %s %s is newer than the installed %llu\n", component.name.c_str(),
              component.version.c_str(), static_cast<unsigned long long>(installed));
    newer.push_back(component);
  }
  return newer;
}

bool UpdateRequired(const UpdateContext& context, const archive::UpdateMetadata& metadata) {
  const archive::UpdateComponent* app = metadata.Find(UpdateComponentKind::kApp);
  if (!app) return false;
  const std::uint64_t installed = InstalledVersion(context.masterFolder, context.appName);
  const std::uint64_t offered = archive::VersionValue(app->version);
  if (offered <= installed) return false;
  return metadata.critical || installed < archive::VersionValue(metadata.minimumVersion);
}

FetchedMetadata FetchMetadata(const UpdateContext& context) {
  FetchedMetadata fetched;
  if (context.updateUrl.empty() || context.updateUrl.rfind(net::kNoUpdateServerUrl, 0) == 0) {
    LogPrintf("[Update] No update folder to check\n");
    fetched.status = CheckStatus::kNoUpdateFolder;
    return fetched;
  }
  fetched.status = CheckStatus::kRefused;
  if (!context.key) {
    Refused("this launcher has no key to verify it with");
    return fetched;
  }
  const std::string url =
      context.updateUrl + archive::kUpdateMetadataFileName + "?time=" + net::MillisText();
  LogPrintf("[Update] Checking %s\n", url.c_str());
  std::optional<std::string> file =
      net::DownloadToMemory(url, archive::kMaxUpdateMetadataBytes, context.environment);
  if (!file) {
    LogPrintf("[Update] The update folder cannot be reached\n");
    fetched.status = CheckStatus::kOffline;
    return fetched;
  }
  // The way through to the server that worked is the application's too, as after an install.
  net::SaveProxyConfiguration(context.sharedConfigFolder, net::WorkingProxySettings());
  archive::MetadataReading reading = archive::ReadUpdateMetadata(*file, context.key);
  if (reading.status != archive::MetadataStatus::kOk) {
    Refused(reading.problem.c_str());
    return fetched;
  }
  if (reading.metadata.appName != context.appName) {
    Refused("it is for another application: ", reading.metadata.appName);
    return fetched;
  }
  fetched.status = CheckStatus::kAvailable;
  fetched.metadata = std::move(reading.metadata);
  fetched.file = std::move(*file);
  return fetched;
}

UpdateCheck CheckForUpdates(const UpdateContext& context) {
  FetchedMetadata fetched = FetchMetadata(context);
  if (fetched.status != CheckStatus::kAvailable) return Checked(fetched.status);
  const archive::UpdateMetadata& metadata = fetched.metadata;
  const std::string& file = fetched.file;

  const std::optional<archive::UpdateMetadata> accepted =
      AcceptedMetadata(context.sharedConfigFolder, context.key);
  if (accepted && metadata.metadataVersion < accepted->metadataVersion) {
    return Refused("it is older than metadata already seen (version ",
                   std::to_string(metadata.metadataVersion) + " < " +
                       std::to_string(accepted->metadataVersion) + ")");
  }
  const std::uint64_t now = context.now ? context.now() : SecondsSince1970();
  if (metadata.expires <= now) {
    LogPrintf("[Update] The update metadata expired %llu seconds ago\n",
              static_cast<unsigned long long>(now - metadata.expires));
    return Checked(CheckStatus::kExpired);
  }
  if (!accepted || metadata.metadataVersion > accepted->metadataVersion) {
    if (AcceptMetadata(context.sharedConfigFolder, file))
      LogPrintf("[Update] Accepted update metadata version %llu\n",
                static_cast<unsigned long long>(metadata.metadataVersion));
  } else if (EncodeUpdateMetadata(metadata) != EncodeUpdateMetadata(*accepted)) {
    return Refused("it differs from the accepted metadata of the same version");
  }

  UpdateCheck check = Checked(CheckStatus::kUpToDate);
  check.metadata = metadata;
  check.newer = NewerComponents(context, metadata);
  if (const archive::UpdateComponent* app = metadata.Find(UpdateComponentKind::kApp))
    check.appVersion = app->version;
  if (check.newer.empty()) {
    LogPrintf("[Update] Everything installed is current\n");
    return check;
  }
  const int number = RolloutNumber(context.sharedConfigFolder);
  if (number >= metadata.rollout && !UpdateRequired(context, metadata)) {
    LogPrintf("[Update] The release is rolled out to %d%% of installations, not yet to this one\n",
              metadata.rollout);
    check.status = CheckStatus::kNotRolledOut;
    check.newer.clear();
    return check;
  }
  check.status = CheckStatus::kAvailable;
  return check;
}

}  // namespace ferrolan::update
