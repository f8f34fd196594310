// Proxy detection on POSIX: the user's settings are the environment's proxy variables, and the
// automatic lookup is libproxy's. Lists are handed on in WinINet's form, which the libcurl
// transport translates back (download_attempt_posix.cpp): entries separated by ";", the proxy
// as the variable names it (host:port or a URL, credentials included).
#include <cctype>
#include <memory>
#include <string>

#include "net/network_libraries_posix.h"
#include "net/proxy_detection_os.h"
#include "os/os.h"

namespace ferrolan::net::detail {
namespace {

// The values of the proxy variables that libproxy understands as automatic configuration.
constexpr const char* kAutoDetectValue = "wpad://";
constexpr const char* kScriptPrefix = "pac+";

std::optional<std::string> FirstEnv(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    std::optional<std::string> value = os::GetEnv(name);
    if (value && !value->empty()) return value;
  }
  return std::nullopt;
}

bool IsSecure(const std::string& url) {
  constexpr const char* kScheme = "https:";
  for (std::size_t i = 0; kScheme[i] != '\0'; ++i) {
    if (i >= url.size() || std::tolower(static_cast<unsigned char>(url[i])) != kScheme[i]) {
      return false;
    }
  }
  return true;
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// no_proxy's comma-separated entries as WinINet's ";"-separated bypass list.
std::optional<std::string> BypassList(const std::optional<std::string>& noProxy) {
  if (!noProxy) return std::nullopt;
  std::string list;
  std::size_t start = 0;
  while (start <= noProxy->size()) {
    std::size_t end = noProxy->find(',', start);
    if (end == std::string::npos) end = noProxy->size();
    const std::string entry = Trimmed(noProxy->substr(start, end - start));
    if (!entry.empty()) list += (list.empty() ? "" : ";") + entry;
    start = end + 1;
  }
  if (list.empty()) return std::nullopt;
  return list;
}

// The owners below exist only once Libproxy() has loaded the library.
struct FactoryFree {
  void operator()(pxProxyFactory* factory) const { Libproxy()->factoryFree(factory); }
};
struct ProxiesFree {
  void operator()(char** proxies) const { Libproxy()->freeProxies(proxies); }
};

// A libproxy factory per session, as WinHTTP gives each session its own handle: lookups of the
// race's caller and of its "WPAD" thread share nothing.
class LibproxySession final : public AutoProxySession {
 public:
  explicit LibproxySession(pxProxyFactory* factory) : factory_(factory) {}

  // libproxy answers with proxy URLs in the order to try them ("http://host:port",
  // "socks5://host:port", ...); "direct://" stands for going without a proxy, and nothing after
  // it is ever used. The script URL is libproxy's to read from the environment.
  AutoProxyAnswer Lookup(const std::string& url, const std::optional<std::string>&) override {
    AutoProxyAnswer answer;
    const std::unique_ptr<char*, ProxiesFree> proxies(
        Libproxy()->getProxies(factory_.get(), url.c_str()));
    if (!proxies) {
      answer.error = os::LastErrorCode();
      return answer;
    }
    answer.found = true;
    std::string list;
    for (char** entry = proxies.get(); *entry != nullptr; ++entry) {
      if (std::string(*entry) == "direct://") break;
      list += (list.empty() ? "" : ";") + std::string(*entry);
    }
    if (list.empty()) {
      answer.direct = true;
    } else {
      answer.proxyList = list;
    }
    return answer;
  }

 private:
  std::unique_ptr<pxProxyFactory, FactoryFree> factory_;
};

}  // namespace

std::optional<std::string> EnvironmentProxy(bool secure) {
  return secure ? FirstEnv({"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
                : FirstEnv({"http_proxy", "all_proxy", "ALL_PROXY"});
}

std::optional<std::string> EnvironmentProxyBypass() {
  return BypassList(FirstEnv({"no_proxy", "NO_PROXY"}));
}

std::optional<UserProxySettings> ReadUserProxySettings(const std::string& url) {
  UserProxySettings settings;
  const std::optional<std::string> proxy = EnvironmentProxy(IsSecure(url));
  if (!proxy) return settings;
  const std::string value = Trimmed(*proxy);
  if (value == kAutoDetectValue) {
    settings.autoDetect = true;
  } else if (value.rfind(kScriptPrefix, 0) == 0) {
    settings.autoConfigUrl = value.substr(std::char_traits<char>::length(kScriptPrefix));
  } else if (!value.empty()) {
    settings.proxyList = value;
    settings.proxyBypassList = EnvironmentProxyBypass();
  }
  return settings;
}

std::unique_ptr<AutoProxySession> OpenAutoProxySession() {
  const LibproxyApi* libproxy = Libproxy();
  pxProxyFactory* factory = libproxy != nullptr ? libproxy->factoryNew() : nullptr;
  if (factory == nullptr) return nullptr;
  return std::make_unique<LibproxySession>(factory);
}

}  // namespace ferrolan::net::detail
