// POSIX: the freedesktop menu entry and the icon in the user's data folder.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>

#include "desktop/desktop_entry.h"
#include "desktop/desktop_os.h"
#include "fs/file_ops.h"
#include "fs/owned_file.h"
#include "log/log.h"
#include "os/os.h"
#include "splash/png_header.h"

namespace ferrolan::desktop::detail {
namespace {

using log::LogError;
using log::LogPrintf;

// $XDG_DATA_HOME when it is an absolute path (the XDG base directory rules call a relative one
// invalid and to be ignored), else $HOME/.local/share; none without either.
std::optional<std::string> DataHome() {
  std::optional<std::string> data = os::GetEnv("XDG_DATA_HOME");
  if (data && !data->empty() && data->front() == '/') return data;
  std::optional<std::string> home = os::GetEnv("HOME");
  if (!home || home->empty()) return std::nullopt;
  return *home + "/.local/share";
}

// Creates every missing folder on the way, each with the modes rwxr-xr-x less the umask.
bool MakeFolders(const std::string& path) {
  for (std::size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/') continue;
    const std::string part = path.substr(0, at);
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
      LogError("[Desktop] Cannot create the folder %s: %s\n", part.c_str(), std::strerror(errno));
      return false;
    }
  }
  return true;
}

std::optional<std::string> ReadText(const std::string& path) {
  fs::OwnedFile file = fs::OpenFile(path, "rb");
  if (!file) return std::nullopt;
  std::string text;
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;)
    text.append(chunk, got);
  return text;
}

bool WriteTextReplacing(const std::string& path, const std::string& text) {
  const std::string temp = path + ".new";
  {
    fs::OwnedFile file = fs::OpenFile(temp, "wb");
    if (!file || std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() ||
        std::fflush(file.get()) != 0) {
      LogError("[Desktop] Cannot write %s\n", temp.c_str());
      RemoveFile(temp);
      return false;
    }
  }
  ::chmod(temp.c_str(), 0644);
  if (!MoveOver(temp, path)) {
    RemoveFile(temp);
    return false;
  }
  return true;
}

std::string IconFolderName(const splash::PngSize& size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

}  // namespace

const char* ExecutableSuffix() { return ""; }
const char* IconFileName() { return "FerrolanIcon.png"; }
const char* IconSuffix() { return ".png"; }

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

bool MoveOver(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  LogError("[Desktop] Cannot rename %s to %s: %s\n", from.c_str(), to.c_str(),
           std::strerror(errno));
  return false;
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

bool RemoveEmptyFolder(const std::string& path) {
  return ::rmdir(path.c_str()) == 0 || errno == ENOENT;
}

bool CreateEntries(const Installation& installation, const std::string& copyPath,
                   const std::string& iconPath) {
  const std::optional<std::string> data = DataHome();
  if (!data) {
    LogError("[Desktop] Neither XDG_DATA_HOME nor HOME is set: no menu entry is made\n");
    return false;
  }
  const std::string id = DesktopFileId(installation.appName);
  bool ok = true;
  std::string iconName;
  if (!iconPath.empty()) {
    if (std::optional<splash::PngSize> size = splash::DeclaredPngSizeOfFile(iconPath)) {
      const std::string folder = *data + "/icons/hicolor/" + IconFolderName(*size) + "/apps";
      ok = MakeFolders(folder) && RefreshCopy(iconPath, folder + "/" + id + ".png", false);
      if (ok) iconName = id;
    } else {
      LogError("[Desktop] The icon %s is not a PNG image: the entry gets none\n", iconPath.c_str());
    }
  }

  const std::string folder = *data + "/applications";
  const std::string entry = folder + "/" + id + ".desktop";
  const std::string text =
      DesktopEntryText({installation.appName, copyPath, iconName, installation.masterFolder});
  const std::optional<std::string> present = ReadText(entry);
  if (present == text) return ok;
  if (present && !IsOurDesktopEntry(*present, installation.masterFolder)) {
    LogError("[Desktop] %s belongs to another installation: it is not replaced\n", entry.c_str());
    return false;
  }
  if (!MakeFolders(folder) || !WriteTextReplacing(entry, text)) return false;
  LogPrintf("[Desktop] Wrote the menu entry %s\n", entry.c_str());
  if (installation.desktopShortcut)
    LogPrintf("[Desktop] A desktop shortcut is made on Windows only\n");
  return ok;
}

bool RemoveEntries(const Installation& installation, const std::string& /*copyPath*/) {
  const std::optional<std::string> data = DataHome();
  if (!data) return true;  // no menu entry could ever have been made
  const std::string id = DesktopFileId(installation.appName);
  bool ok = true;
  const std::string entry = *data + "/applications/" + id + ".desktop";
  if (std::optional<std::string> text = ReadText(entry)) {
    if (!IsOurDesktopEntry(*text, installation.masterFolder)) {
      LogPrintf("[Desktop] %s belongs to another installation: it stays\n", entry.c_str());
      return true;
    }
    if (RemoveFile(entry)) {
      LogPrintf("[Desktop] Removed the menu entry %s\n", entry.c_str());
    } else {
      LogError("[Desktop] Cannot remove %s: %s\n", entry.c_str(), std::strerror(errno));
      ok = false;
    }
  }
  // The icon may be in any size folder of the theme; only the file of our name is removed.
  const std::string theme = *data + "/icons/hicolor";
  if (std::optional<fs::FolderListing> listing = fs::OpenFolderListing(theme)) {
    while (std::optional<std::string> size = listing->Next()) {
      if (*size == "." || *size == "..") continue;
      const std::string icon = theme + "/" + *size + "/apps/" + id + ".png";
      if (::access(icon.c_str(), F_OK) != 0) continue;
      if (RemoveFile(icon)) {
        LogPrintf("[Desktop] Removed the icon %s\n", icon.c_str());
      } else {
        LogError("[Desktop] Cannot remove %s: %s\n", icon.c_str(), std::strerror(errno));
        ok = false;
      }
    }
  }
  return ok;
}

void StepOutOf(const std::string& /*folder*/) {}

bool RemoveRunningProgram(const std::string& path) { return RemoveFile(path); }

}  // namespace ferrolan::desktop::detail
