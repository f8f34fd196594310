// Proxy detection: the proxy that the current user's settings give for one URL, and the proxy
// that an automatic lookup (WPAD or a configuration script) finds for it. Two strategies of the
// download race need these before they can try anything; the proxy test mode prints them.
//
// Platforms: the order of the decisions and every log line are written once, in
// proxy_detection.cpp. What the system is asked differs:
// - Windows: WinHTTP. The user's settings are Internet Explorer's
//   (WinHttpGetIEProxyConfigForCurrentUser); the automatic lookup is WinHttpGetProxyForUrl with
//   DHCP and DNS discovery, and a configuration script when one is given.
// - POSIX: the user's settings are the environment's proxy variables, the ones libcurl reads
//   too (https_proxy or http_proxy by the URL's scheme, then all_proxy; no_proxy as the bypass
//   list). A variable holding "wpad://" asks for automatic detection, one holding
//   "pac+<script URL>" names a configuration script, anything else is an explicit proxy. The
//   automatic lookup is libproxy's answer for the URL, which follows the same variables (and
//   the desktop's settings where libproxy has a plugin for them); libproxy takes the script URL
//   from there as well, so on POSIX the script URL argument only shows in the log.
#pragma once

#include <optional>
#include <string>

#include "net/proxy_settings.h"

namespace ferrolan::net {

/// The proxy the current user's settings give for `url`: an explicit proxy and its bypass list
/// as they are set, the result of an automatic lookup when the settings ask for one (or cannot
/// be read), or both lists absent. Never fails; every outcome is logged.
ProxySettings DetectProxyForUrl(const std::string& url);

/// Runs the system's automatic proxy lookup for `url`, with `scriptUrl` as the configuration
/// script to try along with discovery. Returns the proxy and bypass lists found; both are absent
/// when the lookup fails or finds a direct connection.
ProxySettings DetectAutoProxy(const std::string& url,
                              const std::optional<std::string>& scriptUrl = std::nullopt);

}  // namespace ferrolan::net
