// The decisions of proxy detection and their log lines, over the system's answers in
// proxy_detection_os.h.
#include "net/proxy_detection.h"

#include "log/log.h"
#include "net/proxy_detection_os.h"

namespace ferrolan::net {
namespace {

using log::LogPrintf;

// WinHTTP hands back a null string for a list it does not have, which the C runtime prints as
// "(null)"; both platforms log an absent list that way.
const char* ForLog(const std::optional<std::string>& list) {
  return list ? list->c_str() : "(null)";
}

}  // namespace

ProxySettings DetectProxyForUrl(const std::string& url) {
  LogPrintf("[Proxy] Proxy detection invoked for %s\n", url.c_str());
  const std::optional<detail::UserProxySettings> user = detail::ReadUserProxySettings(url);
  if (!user) return DetectAutoProxy(url);

  LogPrintf("[Proxy] Got IE Proxy Configuration\n");
  // Only the first setting that applies counts: with automatic detection on, a script URL that
  // is set as well is not tried.
  if (user->autoDetect) {
    LogPrintf("[Proxy] IE Setting - autodetect\n");
    return DetectAutoProxy(url);
  }
  if (user->autoConfigUrl) {
    LogPrintf("[Proxy] IE Setting - autoconfig\n");
    return DetectAutoProxy(url, user->autoConfigUrl);
  }
  if (user->proxyList) {
    LogPrintf("[Proxy] IE Setting - explicit\n");
    return ProxySettings{user->proxyList, user->proxyBypassList};
  }
  return ProxySettings{};
}

ProxySettings DetectAutoProxy(const std::string& url, const std::optional<std::string>& scriptUrl) {
  ProxySettings settings;
  LogPrintf("[Proxy] Opening HTTP Session\n");
  const std::unique_ptr<detail::AutoProxySession> session = detail::OpenAutoProxySession();
  if (!session) return settings;

  if (scriptUrl) LogPrintf("[Proxy] Using auto config URL: %s\n", scriptUrl->c_str());
  LogPrintf("[Proxy] Attempting to detect proxy for URL %s\n", url.c_str());
  const detail::AutoProxyAnswer answer = session->Lookup(url, scriptUrl);
  if (!answer.found) {
    LogPrintf("[Proxy] Configuration NOT found (%d)\n", answer.error);
    return settings;
  }
  LogPrintf("[Proxy] Configuration found\n");
  if (answer.direct) {
    LogPrintf("[Proxy] Direct connection used\n");
    return settings;
  }
  LogPrintf("[Proxy] %s\n", ForLog(answer.proxyList));
  LogPrintf("[Proxy] %s\n", ForLog(answer.proxyBypassList));
  settings.proxyList = answer.proxyList;
  settings.proxyBypassList = answer.proxyBypassList;
  return settings;
}

}  // namespace ferrolan::net
