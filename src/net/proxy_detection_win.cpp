// Proxy detection through WinHTTP. WinHTTP works in UTF-16 and the rest of the launcher in the
// system code page: URLs are widened on the way in and lists narrowed on the way out, each with
// the C runtime's conversion, truncated rather than overrun. Every string WinHTTP hands back is
// released with GlobalFree by its owner below.
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "net/proxy_detection_os.h"
#include "os/windows.h"

// WinHTTP needs the declarations of <windows.h> before it.
#include <winhttp.h>

namespace ferrolan::net::detail {
namespace {

static_assert(WINHTTP_ACCESS_TYPE_NO_PROXY == 1 && WINHTTP_AUTOPROXY_AUTO_DETECT == 1 &&
                  WINHTTP_AUTOPROXY_CONFIG_URL == 2,
              "the access type and lookup flags");
static_assert((WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A) == 3,
              "discovery through DHCP and DNS");

constexpr const wchar_t* kAgent = L"Ferrolan Proxy Detector/1.0";

struct GlobalFreeDeleter {
  void operator()(wchar_t* text) const { GlobalFree(text); }
};
/// A string that WinHTTP allocated for the caller.
using GlobalText = std::unique_ptr<wchar_t, GlobalFreeDeleter>;

struct WinHttpHandleTraits {
  using Handle = HINTERNET;
  static Handle Invalid() { return nullptr; }
  static bool Release(Handle handle) { return WinHttpCloseHandle(handle) != 0; }
};
using ScopedWinHttpHandle = os::BasicScopedHandle<WinHttpHandleTraits>;

std::wstring WidenText(const std::string& text) {
  std::vector<wchar_t> wide(text.size() + 1, L'\0');
  const std::size_t length = std::mbstowcs(wide.data(), text.c_str(), wide.size() - 1);
  if (length == static_cast<std::size_t>(-1)) return std::wstring();
  return std::wstring(wide.data(), length);
}

std::optional<std::string> NarrowText(const wchar_t* text) {
  if (text == nullptr) return std::nullopt;
  std::vector<char> narrow(std::wcslen(text) + 1, '\0');
  const std::size_t length = std::wcstombs(narrow.data(), text, narrow.size() - 1);
  if (length == static_cast<std::size_t>(-1)) return std::string();
  return std::string(narrow.data(), length);
}

class WinHttpSession final : public AutoProxySession {
 public:
  explicit WinHttpSession(ScopedWinHttpHandle session) : session_(std::move(session)) {}

  // A given script URL is tried together with discovery, as WinHTTP does with both flags.
  AutoProxyAnswer Lookup(const std::string& url,
                         const std::optional<std::string>& scriptUrl) override {
    const std::wstring wideUrl = WidenText(url);
    const std::wstring wideScript = scriptUrl ? WidenText(*scriptUrl) : std::wstring();
    WINHTTP_AUTOPROXY_OPTIONS options{};
    options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
    if (scriptUrl) {
      options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
      options.lpszAutoConfigUrl = wideScript.c_str();
    }
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    options.fAutoLogonIfChallenged = TRUE;

    WINHTTP_PROXY_INFO info{};
    const BOOL found = WinHttpGetProxyForUrl(session_.get(), wideUrl.c_str(), &options, &info);
    const DWORD error = GetLastError();
    const GlobalText proxy(info.lpszProxy);
    const GlobalText bypass(info.lpszProxyBypass);

    AutoProxyAnswer answer;
    if (!found) {
      answer.error = static_cast<int>(error);
      return answer;
    }
    answer.found = true;
    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NO_PROXY) {
      answer.direct = true;
      return answer;
    }
    answer.proxyList = NarrowText(proxy.get());
    answer.proxyBypassList = NarrowText(bypass.get());
    return answer;
  }

 private:
  ScopedWinHttpHandle session_;
};

}  // namespace

std::optional<UserProxySettings> ReadUserProxySettings(const std::string&) {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
  if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) return std::nullopt;
  const GlobalText autoConfigUrl(config.lpszAutoConfigUrl);
  const GlobalText proxy(config.lpszProxy);
  const GlobalText bypass(config.lpszProxyBypass);
  UserProxySettings settings;
  settings.autoDetect = config.fAutoDetect != FALSE;
  settings.autoConfigUrl = NarrowText(autoConfigUrl.get());
  settings.proxyList = NarrowText(proxy.get());
  settings.proxyBypassList = NarrowText(bypass.get());
  return settings;
}

std::unique_ptr<AutoProxySession> OpenAutoProxySession() {
  ScopedWinHttpHandle session(WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_NO_PROXY,
                                          WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session.IsValid()) return nullptr;
  return std::make_unique<WinHttpSession>(std::move(session));
}

}  // namespace ferrolan::net::detail
