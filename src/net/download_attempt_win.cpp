// The WinINet transport: a synchronous session opened with the strategy's access type, the URL
// split with InternetCrackUrlA (or opened in one step when it cannot be split), one send with a
// second try under relaxed certificate checks, and the body read 32768 bytes at a time.
//
// The one time-out set is the receive time-out: WinINet's default differs between versions and is
// unlimited under Wine, where a server that stops sending mid-body held the download for good. 30
// seconds without data ends the attempt, as on the libcurl side.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "log/log.h"
#include "net/download_attempt_os.h"
#include "os/windows.h"

// WinINet needs the declarations of <windows.h> before it.
#include <wininet.h>

namespace ferrolan::net::detail {
namespace {

using log::LogPrintf;
using log::LogSystemError;

constexpr DWORD kReadChunk = 32768;
constexpr DWORD kReceiveTimeoutMs = 30000;
constexpr DWORD kIgnoreCertificateProblems =
    SECURITY_FLAG_IGNORE_REVOCATION | SECURITY_FLAG_IGNORE_UNKNOWN_CA |
    SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
static_assert(kIgnoreCertificateProblems == 0x3180, "the relaxed certificate flags");
static_assert(INTERNET_FLAG_KEEP_CONNECTION == 0x00400000 && INTERNET_FLAG_SECURE == 0x00800000,
              "the request flags");
static_assert(static_cast<int>(AccessType::kPreconfig) == INTERNET_OPEN_TYPE_PRECONFIG &&
                  static_cast<int>(AccessType::kDirect) == INTERNET_OPEN_TYPE_DIRECT &&
                  static_cast<int>(AccessType::kProxy) == INTERNET_OPEN_TYPE_PROXY &&
                  static_cast<int>(AccessType::kPreconfigNoAutoProxy) ==
                      INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY,
              "the access types are WinINet's");

struct InternetHandleTraits {
  using Handle = HINTERNET;
  static Handle Invalid() { return nullptr; }
  static bool Release(Handle handle) { return InternetCloseHandle(handle) != 0; }
};
using ScopedInternetHandle = os::BasicScopedHandle<InternetHandleTraits>;

const char* OrNull(const std::optional<std::string>& text) {
  return text ? text->c_str() : nullptr;
}

class WinInetTransport final : public AttemptTransport {
 public:
  ~WinInetTransport() override {
    // The request goes first, then the connection, then the session.
    request_.Close();
    connection_.Close();
    internet_.Close();
  }

  bool Open(const AttemptSetup& setup) override {
    name_ = setup.strategyName;
    const char* name = name_.c_str();
    const char* proxyList = setup.proxy ? OrNull(setup.proxy->proxyList) : nullptr;
    const char* bypassList = setup.proxy ? OrNull(setup.proxy->proxyBypassList) : nullptr;
    internet_ = ScopedInternetHandle(InternetOpenA(
        "FerrolanDownloader", static_cast<DWORD>(setup.accessType), proxyList, bypassList, 0));
    if (!internet_.IsValid()) {
      LogPrintf("[HttpDownloader] [%s] Unable initialise HTTP connection\n", name);
      LogSystemError("HttpDownloader", "InternetOpen");
      return false;
    }

    LogPrintf("[HttpDownloader] [%s] Attempting to crack URL\n", name);
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;  // non-zero: return the host name as a pointer into the URL
    parts.dwUrlPathLength = 1;
    const BOOL cracked = InternetCrackUrlA(setup.url.c_str(), 0, 0, &parts);
    LogPrintf("[HttpDownloader] [%s] Crack result is %d\n", name, cracked);
    if (cracked) {
      const std::string host(parts.lpszHostName, parts.dwHostNameLength);
      const std::string path(parts.lpszUrlPath, parts.dwUrlPathLength);
      const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
      if (!ReportUrlComponents(name_, host, parts.nPort, path, secure)) return false;
      connection_ =
          ScopedInternetHandle(InternetConnectA(internet_.get(), host.c_str(), parts.nPort, nullptr,
                                                nullptr, INTERNET_SERVICE_HTTP, 0, 0));
      if (!connection_.IsValid()) {
        LogSystemError("HttpDownloader", "InternetConnect");
        return false;
      }
      DWORD flags = INTERNET_FLAG_KEEP_CONNECTION;
      if (secure) flags |= INTERNET_FLAG_SECURE;
      request_ = ScopedInternetHandle(HttpOpenRequestA(connection_.get(), "GET", path.c_str(),
                                                       "HTTP/1.1", nullptr, nullptr, flags, 0));
    } else {
      LogSystemError("HttpDownloader", "CrackURL");
      request_ = ScopedInternetHandle(
          InternetOpenUrlA(internet_.get(), setup.url.c_str(), nullptr, 0,
                           INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_RESYNCHRONIZE, 0));
    }
    if (!request_.IsValid()) {
      LogSystemError("HttpDownloader", "HttpOpenRequest/InternetOpenUrl");
      return false;
    }
    // Set on the request itself: Wine's sessions do not hand it down. Without it the attempt
    // keeps the defaults, so a failure here is no reason to give up.
    DWORD receiveTimeout = kReceiveTimeoutMs;
    InternetSetOptionA(request_.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeout,
                       sizeof receiveTimeout);
    return true;
  }

  TransferEnd Transfer(ResponseSink& sink) override {
    if (!Send()) return TransferEnd::kFailed;
    if (!sink.OnResponse()) return TransferEnd::kStopped;
    std::vector<char> chunk(kReadChunk);
    for (;;) {
      DWORD count = 0;
      if (!InternetReadFile(request_.get(), chunk.data(), kReadChunk, &count)) {
        LogSystemError("HttpDownloader", "InternetReadFile");
        return TransferEnd::kFailed;
      }
      if (count == 0) return TransferEnd::kComplete;
      if (!sink.OnBody(chunk.data(), static_cast<int>(count))) return TransferEnd::kStopped;
    }
  }

  int StatusCode() override {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoA(request_.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                        &size, nullptr)) {
      return -1;
    }
    return static_cast<int>(status);
  }

  std::optional<std::int64_t> ContentLength() override {
    char text[256] = {};
    DWORD size = sizeof text;
    if (!HttpQueryInfoA(request_.get(), HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(std::atoll(text));
  }

  CredentialAnswer AskProxyCredentials() override {
    const DWORD code =
        InternetErrorDlg(GetDesktopWindow(), request_.get(), ERROR_INTERNET_INCORRECT_PASSWORD,
                         FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                             FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
                         nullptr);
    return CredentialAnswer{static_cast<int>(code), code == ERROR_INTERNET_FORCE_RETRY};
  }

  void Resend() override { HttpSendRequestA(request_.get(), nullptr, 0, nullptr, 0); }

  ChosenProxy QueryProxy() override {
    // Room for the record and the two strings it points to.
    std::vector<char> area(sizeof(INTERNET_PROXY_INFO) + 4096);
    DWORD size = static_cast<DWORD>(area.size());
    ChosenProxy chosen;
    if (!InternetQueryOptionA(internet_.get(), INTERNET_OPTION_PROXY, area.data(), &size)) {
      chosen.errorCode = static_cast<int>(GetLastError());
      return chosen;
    }
    INTERNET_PROXY_INFO info{};
    std::memcpy(&info, area.data(), sizeof info);
    chosen.readable = true;
    chosen.accessType = static_cast<AccessType>(info.dwAccessType);
    if (info.lpszProxy != nullptr) {
      chosen.proxyList = std::string(reinterpret_cast<const char*>(info.lpszProxy));
    }
    if (info.lpszProxyBypass != nullptr) {
      chosen.proxyBypassList = std::string(reinterpret_cast<const char*>(info.lpszProxyBypass));
    }
    return chosen;
  }

 private:
  // Sends the request; when that fails for whatever reason, relaxes the certificate checks and
  // sends once more, so that a server with a self-signed, expired or wrongly named certificate
  // still delivers.
  bool Send() {
    if (HttpSendRequestA(request_.get(), nullptr, 0, nullptr, 0)) return true;
    DWORD flags = 0;
    DWORD size = sizeof flags;
    InternetQueryOptionA(request_.get(), INTERNET_OPTION_SECURITY_FLAGS, &flags, &size);
    flags |= kIgnoreCertificateProblems;
    if (!InternetSetOptionA(request_.get(), INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof flags)) {
      LogSystemError("HttpDownloader", "InternetSetOption");
      LogPrintf("[HttpDownloader] Unable to set internet option correctly");
    }
    if (HttpSendRequestA(request_.get(), nullptr, 0, nullptr, 0)) return true;
    LogSystemError("HttpDownloader", "HttpSendRequest");
    return false;
  }

  std::string name_;
  ScopedInternetHandle internet_;
  ScopedInternetHandle connection_;
  ScopedInternetHandle request_;
};

}  // namespace

std::unique_ptr<AttemptTransport> MakeSystemTransport() {
  return std::make_unique<WinInetTransport>();
}

}  // namespace ferrolan::net::detail
