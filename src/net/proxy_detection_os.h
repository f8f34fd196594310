// The operating-system half of proxy detection: WinHTTP (proxy_detection_win.cpp) or the
// environment and libproxy (proxy_detection_posix.cpp). Private to the net subsystem. Every
// string crosses this seam in the 8-bit form the rest of the launcher uses.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace ferrolan::net::detail {

/// What the current user's proxy settings say.
struct UserProxySettings {
  bool autoDetect = false;
  std::optional<std::string> autoConfigUrl;
  std::optional<std::string> proxyList;
  std::optional<std::string> proxyBypassList;
};

/// The current user's settings that apply to `url`, or none when they cannot be read.
std::optional<UserProxySettings> ReadUserProxySettings(const std::string& url);

/// The answer of one automatic lookup.
struct AutoProxyAnswer {
  bool found = false;
  /// The system's error code when nothing was found.
  int error = 0;
  /// A configuration was found and it says: no proxy.
  bool direct = false;
  std::optional<std::string> proxyList;
  std::optional<std::string> proxyBypassList;
};

/// One session of automatic lookups; the system's handles are released with it.
class AutoProxySession {
 public:
  virtual ~AutoProxySession() = default;
  virtual AutoProxyAnswer Lookup(const std::string& url,
                                 const std::optional<std::string>& scriptUrl) = 0;
};

/// Opens a session, or returns none when the system refuses one.
std::unique_ptr<AutoProxySession> OpenAutoProxySession();

/// POSIX backend only: the environment's proxy for a URL of the given kind (https_proxy, then
/// all_proxy, for "https"; http_proxy, then all_proxy, for the rest; each in the lower-case
/// form first), and the bypass variable (no_proxy, NO_PROXY) as WinINet's ";"-separated list.
/// These are the variables libcurl reads, so the user's settings that detection reports are the
/// ones the transport's "user configuration" strategies use and record. An empty variable
/// counts as unset.
std::optional<std::string> EnvironmentProxy(bool secure);
std::optional<std::string> EnvironmentProxyBypass();

}  // namespace ferrolan::net::detail
