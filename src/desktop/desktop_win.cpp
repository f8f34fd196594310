// Windows: shortcuts made with the shell's link object, and the installed-programs entry.
#include "os/windows.h"
// After windows.h: the shell and COM headers rely on its declarations.
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <memory>
#include <optional>
#include <string>

#include "desktop/desktop_entry.h"
#include "desktop/desktop_os.h"
#include "fs/file_ops.h"
#include "log/log.h"
#include "os/os.h"

namespace ferrolan::desktop::detail {
namespace {

using log::LogError;
using log::LogPrintf;

constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// COM for the calling thread for as long as the object lives. A thread that already runs
// another apartment model may still use the link object; it is then not uninitialised here.
class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool Usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

struct ComRelease {
  void operator()(IUnknown* object) const { object->Release(); }
};
template <typename T>
using ComPtr = std::unique_ptr<T, ComRelease>;

struct RegistryKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static bool Release(Handle key) { return RegCloseKey(key) == ERROR_SUCCESS; }
};
using ScopedKey = os::BasicScopedHandle<RegistryKeyTraits>;

std::wstring Wide(const std::string& text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

bool EqualPaths(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
         CSTR_EQUAL;
}

// A shell folder; made when missing only for a shortcut that is to go into it, never while
// removing.
enum class Make { kIfMissing, kNever };

std::optional<std::string> ShellFolder(int csidl, Make make, const char* what) {
  char path[MAX_PATH] = {};
  const int flags = make == Make::kIfMissing ? CSIDL_FLAG_CREATE : 0;
  const HRESULT result =
      SHGetFolderPathA(nullptr, csidl | flags, nullptr, SHGFP_TYPE_CURRENT, path);
  if (FAILED(result)) {
    LogError("[Desktop] The %s folder is unknown (0x%08lX)\n", what,
             static_cast<unsigned long>(result));
    return std::nullopt;
  }
  return std::string(path);
}

std::optional<std::string> ProgramsFolder(bool allUsers, Make make) {
  return ShellFolder(allUsers ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS, make, "Start menu");
}

std::optional<std::string> DesktopFolder(bool allUsers, Make make) {
  return ShellFolder(allUsers ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOPDIRECTORY, make,
                     "desktop");
}

ComPtr<IShellLinkA> NewShellLink() {
  IShellLinkA* link = nullptr;
  const HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IShellLinkA, reinterpret_cast<void**>(&link));
  if (FAILED(result) || link == nullptr) {
    LogError("[Desktop] The shell link object is not available (0x%08lX)\n",
             static_cast<unsigned long>(result));
    return nullptr;
  }
  return ComPtr<IShellLinkA>(link);
}

ComPtr<IPersistFile> PersistFileOf(IShellLinkA& link) {
  IPersistFile* file = nullptr;
  if (FAILED(link.QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))))
    return nullptr;
  return ComPtr<IPersistFile>(file);
}

bool CreateShortcut(const std::string& linkPath, const std::string& target, const std::string& icon,
                    const std::string& workingFolder) {
  ComApartment com;
  if (!com.Usable()) {
    LogError("[Desktop] COM cannot be used on this thread\n");
    return false;
  }
  ComPtr<IShellLinkA> link = NewShellLink();
  if (!link) return false;
  link->SetPath(target.c_str());
  link->SetWorkingDirectory(workingFolder.c_str());
  link->SetIconLocation(icon.c_str(), 0);
  ComPtr<IPersistFile> file = PersistFileOf(*link);
  const HRESULT result = file ? file->Save(Wide(linkPath).c_str(), TRUE) : E_NOINTERFACE;
  if (FAILED(result)) {
    LogError("[Desktop] Cannot save the shortcut %s (0x%08lX)\n", linkPath.c_str(),
             static_cast<unsigned long>(result));
    return false;
  }
  LogPrintf("[Desktop] Made the shortcut %s\n", linkPath.c_str());
  return true;
}

// The program a shortcut file runs, or none when it cannot be read as a shortcut.
std::optional<std::string> ShortcutTarget(const std::string& linkPath) {
  ComApartment com;
  if (!com.Usable()) return std::nullopt;
  ComPtr<IShellLinkA> link = NewShellLink();
  if (!link) return std::nullopt;
  ComPtr<IPersistFile> file = PersistFileOf(*link);
  if (!file || FAILED(file->Load(Wide(linkPath).c_str(), STGM_READ))) return std::nullopt;
  char target[MAX_PATH] = {};
  if (FAILED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH))) return std::nullopt;
  return std::string(target);
}

std::string ShortcutPath(const std::string& folder, const Installation& installation) {
  return folder + "\\" + installation.appName + ".lnk";
}

bool EnsureShortcut(const std::optional<std::string>& folder, const Installation& installation,
                    const std::string& copyPath, const std::string& icon) {
  if (!folder) return false;
  const std::string path = ShortcutPath(*folder, installation);
  if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  return CreateShortcut(path, copyPath, icon, installation.masterFolder);
}

// Removes the shortcut when it runs this installation's copy; one the user made to something
// else under the same name stays.
bool RemoveShortcut(const std::optional<std::string>& folder, const Installation& installation,
                    const std::string& copyPath) {
  if (!folder) return true;
  const std::string path = ShortcutPath(*folder, installation);
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
  const std::optional<std::string> target = ShortcutTarget(path);
  if (!target || !EqualPaths(*target, copyPath)) {
    LogPrintf("[Desktop] The shortcut %s runs another program: it stays\n", path.c_str());
    return true;
  }
  if (!DeleteFileA(path.c_str())) {
    log::LogSystemError("Desktop", ("DeleteFileA " + path).c_str());
    return false;
  }
  LogPrintf("[Desktop] Removed the shortcut %s\n", path.c_str());
  return true;
}

HKEY RegistryRoot(const Installation& installation) {
  return installation.allUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::string UninstallKeyPath(const Installation& installation) {
  return kUninstallKey + EntryName(installation.appName);
}

bool SetString(HKEY key, const char* name, const std::string& value) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool SetNumber(HKEY key, const char* name, DWORD value) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value) == ERROR_SUCCESS;
}

bool WriteUninstallEntry(const Installation& installation, const std::string& copyPath,
                         const std::string& icon) {
  const std::string path = UninstallKeyPath(installation);
  HKEY raw = nullptr;
  const LONG result = RegCreateKeyExA(RegistryRoot(installation), path.c_str(), 0, nullptr, 0,
                                      KEY_SET_VALUE, nullptr, &raw, nullptr);
  ScopedKey key(raw);
  if (result != ERROR_SUCCESS) {
    LogError("[Desktop] Cannot create the registry key %s (error %ld)\n", path.c_str(),
             static_cast<long>(result));
    return false;
  }
  bool ok = SetString(key.get(), "DisplayName", installation.appName) &&
            SetString(key.get(), "DisplayIcon", icon) &&
            SetString(key.get(), "InstallLocation", installation.masterFolder) &&
            SetString(key.get(), "UninstallString", UninstallCommand(copyPath)) &&
            SetNumber(key.get(), "NoModify", 1) && SetNumber(key.get(), "NoRepair", 1);
  if (ok && !installation.publisher.empty())
    ok = SetString(key.get(), "Publisher", installation.publisher);
  if (!ok) {
    LogError("[Desktop] Cannot write the values of the registry key %s\n", path.c_str());
    return false;
  }
  LogPrintf("[Desktop] Wrote the installed-programs entry %s\n", path.c_str());
  return true;
}

std::optional<std::string> InstallLocationOf(HKEY key) {
  char value[MAX_PATH * 2] = {};
  DWORD size = sizeof value - 1;
  DWORD type = 0;
  if (RegQueryValueExA(key, "InstallLocation", nullptr, &type, reinterpret_cast<BYTE*>(value),
                       &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return std::nullopt;
  return std::string(value);
}

// Removes the entry when it is this installation's: one of the same name that points at another
// master folder stays.
bool RemoveUninstallEntry(const Installation& installation) {
  const std::string path = UninstallKeyPath(installation);
  {
    HKEY raw = nullptr;
    if (RegOpenKeyExA(RegistryRoot(installation), path.c_str(), 0, KEY_QUERY_VALUE, &raw) !=
        ERROR_SUCCESS)
      return true;  // there is none
    ScopedKey key(raw);
    const std::optional<std::string> location = InstallLocationOf(key.get());
    if (!location || !EqualPaths(*location, installation.masterFolder)) {
      LogPrintf("[Desktop] The registry key %s is another installation's: it stays\n",
                path.c_str());
      return true;
    }
  }
  const LONG result = RegDeleteKeyA(RegistryRoot(installation), path.c_str());
  if (result != ERROR_SUCCESS) {
    LogError("[Desktop] Cannot remove the registry key %s (error %ld)\n", path.c_str(),
             static_cast<long>(result));
    return false;
  }
  LogPrintf("[Desktop] Removed the installed-programs entry %s\n", path.c_str());
  return true;
}

}  // namespace

const char* ExecutableSuffix() { return ".exe"; }
const char* IconFileName() { return "FerrolanIcon.ico"; }
const char* IconSuffix() { return ".ico"; }

bool SameFile(const std::string& a, const std::string& b) {
  auto identify = [](const std::string& path) -> std::optional<BY_HANDLE_FILE_INFORMATION> {
    os::ScopedHandle file(CreateFileA(path.c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.IsValid() || !GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
    return info;
  };
  const auto ia = identify(a);
  const auto ib = identify(b);
  return ia && ib && ia->dwVolumeSerialNumber == ib->dwVolumeSerialNumber &&
         ia->nFileIndexHigh == ib->nFileIndexHigh && ia->nFileIndexLow == ib->nFileIndexLow;
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return std::nullopt;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool MoveOver(const std::string& from, const std::string& to) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  log::LogSystemError("Desktop", ("MoveFileExA " + from + " to " + to).c_str());
  return false;
}

bool RemoveFile(const std::string& path) {
  return DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool RemoveEmptyFolder(const std::string& path) {
  return RemoveDirectoryA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ||
         GetLastError() == ERROR_PATH_NOT_FOUND;
}

bool CreateEntries(const Installation& installation, const std::string& copyPath,
                   const std::string& iconPath) {
  // Without an icon file of the application's the shortcut shows the launcher copy's own.
  const std::string icon = iconPath.empty() ? copyPath : iconPath;
  bool ok = EnsureShortcut(ProgramsFolder(installation.allUsers, Make::kIfMissing), installation,
                           copyPath, icon);
  if (installation.desktopShortcut)
    ok = EnsureShortcut(DesktopFolder(installation.allUsers, Make::kIfMissing), installation,
                        copyPath, icon) &&
         ok;
  return WriteUninstallEntry(installation, copyPath, icon) && ok;
}

bool RemoveEntries(const Installation& installation, const std::string& copyPath) {
  // The desktop shortcut is looked for whatever the Params say now: they may have asked for one
  // when it was made.
  bool ok =
      RemoveShortcut(ProgramsFolder(installation.allUsers, Make::kNever), installation, copyPath);
  ok = RemoveShortcut(DesktopFolder(installation.allUsers, Make::kNever), installation, copyPath) &&
       ok;
  return RemoveUninstallEntry(installation) && ok;
}

void StepOutOf(const std::string& folder) {
  char current[MAX_PATH] = {};
  const DWORD length = GetCurrentDirectoryA(MAX_PATH, current);
  if (length == 0 || length >= MAX_PATH) return;
  const std::string here(current, length);
  if (here.size() < folder.size() || !EqualPaths(here.substr(0, folder.size()), folder)) return;
  if (here.size() > folder.size() && here[folder.size()] != '\\') return;
  char temp[MAX_PATH] = {};
  if (GetTempPathA(MAX_PATH, temp) != 0) SetCurrentDirectoryA(temp);
}

bool RemoveRunningProgram(const std::string& path) {
  if (DeleteFileA(path.c_str())) return true;
  // The file of a running program cannot be deleted, but it can be renamed on its volume: it
  // leaves the master folder for the temporary folder, where it is deleted at the next restart.
  char temp[MAX_PATH] = {};
  if (GetTempPathA(MAX_PATH, temp) == 0) return false;
  const std::string parked = std::string(temp) + "Ferrolan-uninstalled-" +
                             std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount()) + ".exe";
  if (!MoveFileExA(path.c_str(), parked.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    log::LogSystemError("Desktop", ("MoveFileExA " + path + " to " + parked).c_str());
    return false;
  }
  LogPrintf("[Desktop] Moved the running program to %s\n", parked.c_str());
  // Scheduling needs the rights of an administrator; without them the file stays in the
  // temporary folder, which the system's clean-up empties.
  if (!MoveFileExA(parked.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
    log::LogSystemError("Desktop", "MoveFileExA (delete at restart)");
  return true;
}

}  // namespace ferrolan::desktop::detail
