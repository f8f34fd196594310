#include "update/update_install.h"

#include <memory>
#include <optional>

#include "fs/disk_space.h"
#include "fs/file_ops.h"
#include "fs/path.h"
#include "fs/versioned_folder.h"
#include "log/log.h"
#include "os/os.h"
#include "update/update_lock.h"
#include "update/update_state.h"

namespace ferrolan::update {
namespace {

using archive::UpdateComponent;
using log::LogPrintf;

std::string Joined(const std::string& folder, std::string_view name) {
  std::string path = folder;
  fs::PathJoin(path, name);
  return path;
}

// A file name as one segment of a URL's path: bytes other than letters, digits and "-._~"
// written as %XX ("Demo App" is "Demo%20App").
std::string UrlSegment(std::string_view name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string segment;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
        (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~') {
      segment.push_back(c);
    } else {
      segment.push_back('%');
      segment.push_back(kHex[byte >> 4]);
      segment.push_back(kHex[byte & 0x0F]);
    }
  }
  return segment;
}

// A folder of this install's own, created exclusively.
std::optional<std::string> CreateUpdateFolder(const std::string& masterFolder, int index) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path =
        Joined(masterFolder, kUpdateFolderPrefix + std::to_string(SecondsSince1970()) + "-" +
                                 std::to_string(index * 100 + attempt));
    if (fs::CreateFolderExclusively(path)) return path;
  }
  return std::nullopt;
}

// Folders of installs that died: whoever holds the lock is the only installer, so every
// update folder there is a leftover.
void RemoveLeftovers(const std::string& masterFolder) {
  std::optional<fs::FolderListing> listing = fs::OpenFolderListing(masterFolder);
  if (!listing) return;
  std::vector<std::string> leftovers;
  while (std::optional<std::string> name = fs::NextFolderEntry(*listing)) {
    if (name->rfind(kUpdateFolderPrefix, 0) == 0) leftovers.push_back(*name);
  }
  fs::CloseFolderListing(*listing);
  for (const std::string& name : leftovers) {
    LogPrintf("[Update] Removing %s, left by an update that did not finish\n", name.c_str());
    fs::RemoveFolderTree(Joined(masterFolder, name));
  }
}

// Why an archive was not installed. A write that fails on this side stops the download, which
// cuts the check of the body short: the write is the cause then, not the body.
const char* NotInstalledReason(const net::DownloadExtraction& extraction) {
  const archive::ArchiveStatus status = extraction.archive.status;
  if (status == archive::ArchiveStatus::kNoSpace) return "the disk has not enough free space";
  if (status == archive::ArchiveStatus::kWriteFailed) return "a file could not be written";
  if (!extraction.bodyMatches) return "the archive is not the one the metadata declares";
  return extraction.downloaded ? "the archive was refused" : "the download failed";
}

// The filled folders, removed unless they were put in place.
class FilledFolders {
 public:
  ~FilledFolders() {
    for (const std::string& folder : folders_) fs::RemoveFolderTree(folder);
  }
  void Add(std::string folder) { folders_.push_back(std::move(folder)); }
  const std::vector<std::string>& folders() const { return folders_; }
  void Release() { folders_.clear(); }

 private:
  std::vector<std::string> folders_;
};

}  // namespace

InstallStatus InstallUpdates(const UpdateContext& context,
                             const std::vector<UpdateComponent>& components,
                             const InstallOptions& options) {
  const std::unique_ptr<UpdateLock> lock =
      UpdateLock::TryTake(Joined(context.sharedConfigFolder, kUpdateLockFileName));
  if (!lock) {
    LogPrintf("[Update] Another launcher is installing updates; leaving it to that one\n");
    return InstallStatus::kBusy;
  }
  RemoveLeftovers(context.masterFolder);

  std::uint64_t total = 0;
  for (const UpdateComponent& component : components) total += component.length;
  std::uint64_t done = 0;
  FilledFolders filled;
  for (std::size_t i = 0; i < components.size(); ++i) {
    const UpdateComponent& component = components[i];
    const std::optional<std::string> folder =
        CreateUpdateFolder(context.masterFolder, static_cast<int>(i));
    if (!folder) {
      LogPrintf("[Update] Cannot create a folder for %s\n", component.name.c_str());
      return InstallStatus::kFailed;
    }
    filled.Add(*folder);
    LogPrintf("[Update] Downloading %s %s (%llu bytes) into %s\n", component.name.c_str(),
              component.version.c_str(), static_cast<unsigned long long>(component.length),
              folder->c_str());
    net::RaceEnvironment environment = context.environment;
    if (options.progress && total > 0) {
      const std::uint64_t before = done;
      environment.progress = [&options, before, total, length = component.length](int percent) {
        const std::uint64_t bytes = before + length * static_cast<std::uint64_t>(percent) / 100;
        options.progress(static_cast<int>(bytes * 100 / total));
      };
    }
    const net::DownloadExtraction extraction = net::DownloadAndExtract(
        net::CheckedArchiveDownload{context.updateUrl + UrlSegment(component.archive), *folder,
                                    component.length, component.sha256, options.stop},
        environment);
    if (options.stop && options.stop->Stopped()) {
      LogPrintf("[Update] Stopped; the update will start again next time\n");
      return InstallStatus::kStopped;
    }
    if (!extraction.Succeeded()) {
      LogPrintf("[Update] %s %s was not installed: %s\n", component.name.c_str(),
                component.version.c_str(), NotInstalledReason(extraction));
      return InstallStatus::kFailed;
    }
    done += component.length;
    if (component.kind == archive::UpdateComponentKind::kJre && options.prepareJre)
      options.prepareJre(*folder);
  }

  // Every component is complete. They get their names in the metadata's order, the
  // application last, so no start picks a new application before what it runs on is there.
  for (std::size_t i = 0; i < components.size(); ++i) {
    const UpdateComponent& component = components[i];
    const std::string target =
        fs::VersionedFolderName(context.masterFolder, component.name, component.version);
    const std::string& folder = filled.folders()[i];
    if (fs::EntryExists(target)) {
      // Another launcher put it in place meanwhile; this download of it is not needed, and
      // the release below would otherwise leave it behind.
      LogPrintf("[Update] %s is installed already\n", target.c_str());
      fs::RemoveFolderTree(folder);
      continue;
    }
    if (std::rename(folder.c_str(), target.c_str()) != 0) {
      LogPrintf("[Update] Cannot rename %s to %s\n", folder.c_str(), target.c_str());
      return InstallStatus::kFailed;
    }
    LogPrintf("[Update] Installed %s\n", target.c_str());
  }
  filled.Release();
  if (options.progress) options.progress(100);
  return InstallStatus::kInstalled;
}

}  // namespace ferrolan::update
