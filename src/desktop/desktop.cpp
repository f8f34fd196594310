#include "desktop/desktop.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "desktop/desktop_entry.h"
#include "desktop/desktop_os.h"
#include "fs/file_ops.h"
#include "fs/owned_file.h"
#include "fs/path.h"
#include "fs/versioned_folder.h"
#include "log/log.h"
#include "os/os.h"

namespace ferrolan::desktop {
namespace {

using log::LogError;
using log::LogPrintf;

// Folders every start of a launcher makes in its master folder: a folder without them was not
// made by a launcher, whatever its name.
constexpr std::array<const char*, 2> kOurFolders = {"FLApps", "FLAppsSharedConfig"};

std::string Joined(const std::string& folder, const std::string& name) {
  std::string path = folder;
  fs::PathJoin(path, name);
  return path;
}

std::string LastComponent(std::string path) {
  fs::NormalizeSeparators(path);
  while (path.size() > 1 && path.back() == fs::PathSeparator()) path.pop_back();
  const std::size_t cut = path.rfind(fs::PathSeparator());
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Byte for byte, in large chunks; the first difference ends the comparison. Callers compare
// sizes first, so two files that differ in length are never read.
bool SameContent(const std::string& a, const std::string& b) {
  fs::OwnedFile fa = fs::OpenFile(a, "rb");
  fs::OwnedFile fb = fs::OpenFile(b, "rb");
  if (!fa || !fb) return false;
  constexpr std::size_t kChunk = 1 << 20;
  std::string bufferA(kChunk, '\0'), bufferB(kChunk, '\0');
  for (;;) {
    const std::size_t gotA = std::fread(bufferA.data(), 1, kChunk, fa.get());
    const std::size_t gotB = std::fread(bufferB.data(), 1, kChunk, fb.get());
    if (gotA != gotB || bufferA.compare(0, gotA, bufferB, 0, gotB) != 0) return false;
    if (gotA < kChunk) return std::ferror(fa.get()) == 0 && std::ferror(fb.get()) == 0;
  }
}

bool IsCurrentCopy(const std::string& source, const std::string& target) {
  if (!fs::EntryExists(target)) return false;
  if (detail::SameFile(source, target)) return true;
  const std::optional<std::uint64_t> sourceSize = detail::FileSize(source);
  const std::optional<std::uint64_t> targetSize = detail::FileSize(target);
  if (!sourceSize || !targetSize || *sourceSize != *targetSize) return false;
  // A copy takes its source's modification time: the same launcher started again is known
  // without reading either file (a launcher carrying a runtime is large).
  const std::optional<std::int64_t> sourceTime = fs::ModifiedTime(source);
  if (sourceTime && sourceTime == fs::ModifiedTime(target)) return true;
  return SameContent(source, target);
}

}  // namespace

bool RefreshCopy(const std::string& source, const std::string& target, bool executable) {
  if (IsCurrentCopy(source, target)) return true;
  // Written beside the target and renamed over it only when complete, so a shortcut never runs
  // a half-written program, and a failed write leaves the previous copy as it was.
  const std::string temp = target + ".new";
  detail::RemoveFile(temp);
  fs::OwnedFile input = fs::OpenFile(source, "rb");
  if (!input) {
    LogError("[Desktop] Cannot read %s to copy it\n", source.c_str());
    return false;
  }
  if (!fs::CopyStreamToFile(temp, input.get())) {
    LogError("[Desktop] Cannot write %s\n", temp.c_str());
    detail::RemoveFile(temp);
    return false;
  }
  input.reset();
  if (executable) fs::MakeExecutable(temp);
  // Without it the next start compares the contents instead.
  if (const std::optional<std::int64_t> time = fs::ModifiedTime(source))
    fs::SetModifiedTime(temp, *time);
  if (!detail::MoveOver(temp, target)) {
    detail::RemoveFile(temp);
    return false;
  }
  LogPrintf("[Desktop] Wrote %s\n", target.c_str());
  return true;
}

bool LooksLikeMasterFolder(const std::string& masterFolder, const std::string& appName) {
  if (LastComponent(masterFolder) != EntryName(appName)) return false;
  if (fs::IsLink(masterFolder) || !fs::IsFolder(masterFolder)) return false;
  for (const char* folder : kOurFolders) {
    const std::string path = Joined(masterFolder, folder);
    if (fs::IsFolder(path) && !fs::IsLink(path)) return true;
  }
  return false;
}

std::string LauncherCopyPath(const Installation& installation) {
  return Joined(installation.masterFolder, installation.appName + detail::ExecutableSuffix());
}

bool IntegrationEnabled() {
  const std::optional<std::string> value = os::GetEnv(kDisableVariable);
  if (!value || value->empty() || *value == "0") return true;
  LogPrintf("[Desktop] Desktop integration is turned off by %s\n", kDisableVariable);
  return false;
}

bool Integrate(const Installation& installation, const std::string& runningExecutable) {
  LogPrintf("[Desktop] Checking the desktop integration of %s\n", installation.appName.c_str());
  const std::string copy = LauncherCopyPath(installation);
  bool ok = RefreshCopy(runningExecutable, copy, true);
  if (!fs::EntryExists(copy)) {
    LogError("[Desktop] There is no launcher copy at %s: no shortcuts are made\n", copy.c_str());
    return false;
  }

  // The icon is copied beside the launcher copy: the application's versioned folder is replaced
  // by each update, and a shortcut must not point into a folder that goes away.
  std::string icon = Joined(installation.masterFolder, installation.appName + detail::IconSuffix());
  if (std::optional<std::string> app =
          fs::PickFolder(installation.masterFolder, installation.appName)) {
    const std::string shipped =
        Joined(Joined(installation.masterFolder, *app), detail::IconFileName());
    if (fs::EntryExists(shipped)) ok = RefreshCopy(shipped, icon, false) && ok;
  }
  if (!fs::EntryExists(icon)) icon.clear();

  ok = detail::CreateEntries(installation, copy, icon) && ok;
  LogPrintf(ok ? "[Desktop] Desktop integration is in place\n"
               : "[Desktop] Desktop integration is incomplete; the run goes on\n");
  return ok;
}

UninstallOutcome Uninstall(const Installation& installation, const std::string& runningExecutable) {
  const std::string& master = installation.masterFolder;
  LogPrintf("[Desktop] Uninstalling %s from %s\n", installation.appName.c_str(), master.c_str());
  const bool installed = fs::EntryExists(master);
  if (installed && !LooksLikeMasterFolder(master, installation.appName)) {
    LogError("[Desktop] %s does not look like a master folder of %s: nothing is removed\n",
             master.c_str(), installation.appName.c_str());
    return UninstallOutcome::kRefused;
  }

  const std::string copy = LauncherCopyPath(installation);
  const bool entriesRemoved = detail::RemoveEntries(installation, copy);
  if (!installed) {
    LogPrintf("[Desktop] There is no master folder at %s\n", master.c_str());
    return entriesRemoved ? UninstallOutcome::kNothingInstalled : UninstallOutcome::kIncomplete;
  }

  detail::StepOutOf(master);
  fs::DeleteFolder(master);
  if (fs::EntryExists(copy) && detail::SameFile(copy, runningExecutable))
    detail::RemoveRunningProgram(copy);
  detail::RemoveEmptyFolder(master);
  if (fs::EntryExists(master)) {
    LogError("[Desktop] The master folder %s could not be removed completely\n", master.c_str());
    return UninstallOutcome::kIncomplete;
  }
  LogPrintf("[Desktop] Removed the master folder %s\n", master.c_str());
  return entriesRemoved ? UninstallOutcome::kRemoved : UninstallOutcome::kIncomplete;
}

}  // namespace ferrolan::desktop
