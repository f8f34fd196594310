// Proxy settings as the downloads use them, and the one process-wide record of the proxy that
// worked: the first race of a run creates it, and the main flow stores it in the "DetectedProxy"
// file for the application that is launched later.
//
// Platforms: portable. The lists have the form WinINet takes (entries separated by ";"); the
// POSIX backend translates them where libcurl wants another form.
#pragma once

#include <optional>
#include <string>

namespace ferrolan::net {

/// A proxy list and a bypass list, each possibly absent. Owns copies of its strings.
struct ProxySettings {
  std::optional<std::string> proxyList;
  std::optional<std::string> proxyBypassList;

  bool operator==(const ProxySettings&) const = default;
};

/// A copy of the process-wide record of the proxy that worked; none while no download has saved
/// one. The record is never changed once it exists.
std::optional<ProxySettings> WorkingProxySettings();

/// Creates the process-wide record from copies of the two lists (either may be absent), unless
/// it exists already; logs which of the two happened.
void SaveWorkingProxySettings(const std::optional<std::string>& proxyList,
                              const std::optional<std::string>& proxyBypassList);

/// Forgets the process-wide record, so that each test starts from a fresh process's state.
void ResetWorkingProxySettingsForTesting();

/// Stores the proxy that worked in "DetectedProxy" of the shared-config folder: written anew
/// (the proxy list, then "\r\n" and the bypass list when there is one, no line end after) when
/// a proxy list exists, deleted when a working proxy exists without one, untouched when no
/// download recorded any settings. A file that cannot be created is skipped without a message.
void SaveProxyConfiguration(const std::string& sharedConfigFolder,
                            const std::optional<ProxySettings>& working);

}  // namespace ferrolan::net
