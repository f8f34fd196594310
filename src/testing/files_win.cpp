#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "os/windows.h"
#include "testing/files_os.h"

namespace ferrolan::testing::detail {
namespace {

// The host's name of a Windows path, from Wine's own export; empty outside Wine.
std::string HostPath(const std::filesystem::path& path) {
  using Convert = char* (*)(const wchar_t*);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  FARPROC found = kernel != nullptr ? GetProcAddress(kernel, "wine_get_unix_file_name") : nullptr;
  if (found == nullptr) return {};
  const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void (*)()>(found));
  char* name = convert(std::filesystem::absolute(path).wstring().c_str());
  if (name == nullptr) return {};
  std::string host = name;
  HeapFree(GetProcessHeap(), 0, name);
  return host;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Starts a program of the host through Wine's "start /unix". Wine does not wait for a host
// program even with "/wait", so callers poll for its effect with Eventually().
bool RunOnHost(const std::string& command) {
  return std::system(("start /unix " + command).c_str()) == 0;
}

// Polls `done` for up to five seconds.
template <typename Done>
bool Eventually(Done done) {
  for (int i = 0; i < 100; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

}  // namespace

bool RemoveHostLink(const std::filesystem::path& link) {
  const std::string hostLink = HostPath(link);
  if (hostLink.empty() || !RunOnHost("/bin/rm -f " + Quoted(hostLink))) return false;
  return Eventually([&] {
    std::error_code error;
    return !std::filesystem::exists(std::filesystem::symlink_status(link, error));
  });
}

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool MakeHostFolderLink(const std::filesystem::path& target, const std::filesystem::path& link) {
  const std::string hostTarget = HostPath(target);
  const std::string hostLink = HostPath(link);
  if (hostTarget.empty() || hostLink.empty()) return false;
  // -n -T: a link already at that name is replaced, never descended into.
  if (!RunOnHost("/bin/ln -snfT " + Quoted(hostTarget) + " " + Quoted(hostLink))) return false;
  return Eventually([&] {
    std::error_code error;
    return std::filesystem::is_symlink(link, error) || std::filesystem::is_directory(link, error);
  });
}

}  // namespace ferrolan::testing::detail
