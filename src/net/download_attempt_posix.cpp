// The libcurl transport. The strategies map onto libcurl as follows: "Direct" uses no proxy at
// all (not even one from the environment); explicit settings become CURLOPT_PROXY and
// CURLOPT_NOPROXY; the two "user configuration" strategies leave the proxy to libcurl, which
// takes it from the environment (http_proxy, https_proxy, all_proxy, no_proxy). Proxy
// credentials travel inside the proxy setting (user:password@host:port); there is no dialog to
// ask for them, so a 407 that remains is a refused dialog.
//
// The time-outs follow WinINet's defaults: a minute to connect, and a transfer that receives
// nothing for 30 seconds is given up.
#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "log/log.h"
#include "net/download_attempt_os.h"
#include "net/network_libraries_posix.h"
#include "net/proxy_detection_os.h"

namespace ferrolan::net::detail {
namespace {

using log::LogPrintf;

constexpr long kConnectTimeoutSeconds = 60;
constexpr long kStallSeconds = 30;

// Reports a failed operation in the form of the log's system errors, with libcurl's code and
// text in place of the system's.
void ReportFailure(const char* operation, int code, const char* text) {
  LogPrintf("[%s] %s failed with error %d: %s\n", "HttpDownloader", operation, code, text);
}

// The owners below exist only once Curl() has loaded the library.
struct EasyCleanup {
  void operator()(CURL* easy) const { Curl()->easyCleanup(easy); }
};
struct UrlCleanup {
  void operator()(CURLU* url) const { Curl()->urlCleanup(url); }
};
struct CurlFree {
  void operator()(char* text) const { Curl()->free(text); }
};
using CurlText = std::unique_ptr<char, CurlFree>;

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> entries;
  std::string entry;
  for (char c : list) {
    if (c == ';' || c == ' ' || c == '\t') {
      if (!entry.empty()) entries.push_back(entry);
      entry.clear();
    } else {
      entry += c;
    }
  }
  if (!entry.empty()) entries.push_back(entry);
  return entries;
}

// The proxy of a WinINet list for one scheme: a "scheme=" entry of that scheme, else "http=",
// else the first entry without a scheme.
std::string ProxyForScheme(const std::string& list, bool secure) {
  std::string plain, http, own;
  for (const std::string& entry : SplitList(list)) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string::npos) {
      if (plain.empty()) plain = entry;
    } else if (entry.compare(0, equals, secure ? "https" : "http") == 0) {
      own = entry.substr(equals + 1);
    } else if (entry.compare(0, equals, "http") == 0) {
      http = entry.substr(equals + 1);
    }
  }
  if (!own.empty()) return own;
  return plain.empty() ? http : plain;
}

// WinINet's bypass list (";"-separated, "<local>" for plain host names) in libcurl's form.
std::string NoProxyList(const std::string& bypass) {
  std::string out;
  for (const std::string& entry : SplitList(bypass)) {
    if (entry == "<local>") continue;
    if (!out.empty()) out += ',';
    out += entry;
  }
  return out;
}

class CurlTransport final : public AttemptTransport {
 public:
  bool Open(const AttemptSetup& setup) override {
    setup_ = setup;
    const char* name = setup.strategyName.c_str();
    curl_ = Curl();
    if (curl_ != nullptr) easy_.reset(curl_->easyInit());
    if (!easy_) {
      LogPrintf("[HttpDownloader] [%s] Unable initialise HTTP connection\n", name);
      ReportFailure("InternetOpen", CURLE_FAILED_INIT,
                    curl_ != nullptr ? curl_->easyStrerror(CURLE_FAILED_INIT)
                                     : "libcurl could not be loaded");
      return false;
    }
    LogPrintf("[HttpDownloader] [%s] Attempting to crack URL\n", name);
    std::unique_ptr<CURLU, UrlCleanup> parts(curl_->url());
    const CURLUcode cracked = parts
                                  ? curl_->urlSet(parts.get(), CURLUPART_URL, setup.url.c_str(), 0)
                                  : CURLUE_OUT_OF_MEMORY;
    LogPrintf("[HttpDownloader] [%s] Crack result is %d\n", name, cracked == CURLUE_OK ? 1 : 0);
    if (cracked == CURLUE_OK) {
      if (!ReportParts(parts.get())) return false;
    } else {
      // libcurl gets the whole URL all the same, as WinINet's one-step open does.
      ReportFailure("CrackURL", cracked, curl_->urlStrerror(cracked));
    }
    Set(CURLOPT_URL, setup.url.c_str());
    Set(CURLOPT_NOSIGNAL, 1L);  // several threads: no SIGALRM for name resolution time-outs
    Set(CURLOPT_USERAGENT, "FerrolanDownloader");
    Set(CURLOPT_FOLLOWLOCATION, 1L);
    Set(CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    Set(CURLOPT_LOW_SPEED_LIMIT, 1L);
    Set(CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    Set(CURLOPT_HEADERFUNCTION, &CurlTransport::Header);
    Set(CURLOPT_HEADERDATA, this);
    Set(CURLOPT_WRITEFUNCTION, &CurlTransport::Write);
    Set(CURLOPT_WRITEDATA, this);
    Set(CURLOPT_NOPROGRESS, 0L);
    Set(CURLOPT_XFERINFOFUNCTION, &CurlTransport::Progress);
    Set(CURLOPT_XFERINFODATA, this);
    Set(CURLOPT_ERRORBUFFER, errorText_);
    // libcurl refuses a Content-Length above the limit before it reads the body; a body
    // without one is stopped by the attempt as it arrives.
    if (setup.maxBodyBytes != kNoBodyLimit) {
      Set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(setup.maxBodyBytes));
    }
    if (setup.accessType == AccessType::kDirect) {
      Set(CURLOPT_PROXY, "");
    } else if (setup.accessType == AccessType::kProxy && setup.proxy) {
      proxy_ = ProxyForScheme(setup.proxy->proxyList.value_or(""), secure_);
      noProxy_ = NoProxyList(setup.proxy->proxyBypassList.value_or(""));
      Set(CURLOPT_PROXY, proxy_.c_str());
      Set(CURLOPT_NOPROXY, noProxy_.c_str());
    }
    return true;
  }

  TransferEnd Transfer(ResponseSink& sink) override {
    sink_ = &sink;
    CURLcode result = curl_->easyPerform(easy_.get());
    if (result == CURLE_ABORTED_BY_CALLBACK) return GiveUp();
    if (result == CURLE_FILESIZE_EXCEEDED) return TooLong(result);
    if (result != CURLE_OK && !responded_ && !stopped_) {
      // A proxy that refuses the tunnel without credentials ends the transfer before any
      // response of the server; it still answers the request, with its 407.
      if (ConnectCode() == 407) return Respond() ? TransferEnd::kComplete : TransferEnd::kStopped;
      // Send once more with the certificate checks relaxed, as the Windows backend does.
      Set(CURLOPT_SSL_VERIFYPEER, 0L);
      Set(CURLOPT_SSL_VERIFYHOST, 0L);
      result = curl_->easyPerform(easy_.get());
      if (result == CURLE_ABORTED_BY_CALLBACK) return GiveUp();
      if (result == CURLE_FILESIZE_EXCEEDED) return TooLong(result);
      if (result != CURLE_OK && !responded_ && !stopped_) {
        ReportFailure("HttpSendRequest", result, Describe(result));
        return TransferEnd::kFailed;
      }
    }
    if (stopped_) return TransferEnd::kStopped;
    // A body shorter than announced has ended all the same; the attempt sees the bytes missing.
    if (result != CURLE_OK && result != CURLE_PARTIAL_FILE) {
      ReportFailure("InternetReadFile", result, Describe(result));
      return TransferEnd::kFailed;
    }
    if (!responded_ && !Respond()) return TransferEnd::kStopped;
    return TransferEnd::kComplete;
  }

  int StatusCode() override {
    long code = 0;
    curl_->easyGetinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &code);
    if (code == 0) code = ConnectCode();
    return code == 0 ? -1 : static_cast<int>(code);
  }

  std::optional<std::int64_t> ContentLength() override {
    curl_off_t length = -1;
    if (curl_->easyGetinfo(easy_.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK ||
        length < 0) {
      // libcurl refuses a length above the limit before it records it; the header says it.
      return tooLong_ ? announced_ : std::nullopt;
    }
    return static_cast<std::int64_t>(length);
  }

  CredentialAnswer AskProxyCredentials() override { return CredentialAnswer{0, false}; }

  void Resend() override {}

  ChosenProxy QueryProxy() override {
    ChosenProxy chosen;
    chosen.readable = true;
    if (setup_.accessType == AccessType::kDirect) return chosen;
    if (setup_.accessType == AccessType::kProxy) {
      chosen.accessType = AccessType::kProxy;
      if (setup_.proxy) {
        chosen.proxyList = setup_.proxy->proxyList;
        chosen.proxyBypassList = setup_.proxy->proxyBypassList;
      }
      return chosen;
    }
    // libcurl takes the proxy from the same variables; proxy detection reads them this way too.
    chosen.proxyList = EnvironmentProxy(secure_);
    if (chosen.proxyList) {
      chosen.accessType = AccessType::kProxy;
      chosen.proxyBypassList = EnvironmentProxyBypass();
    }
    return chosen;
  }

 private:
  template <typename Value>
  void Set(CURLoption option, Value value) {
    curl_->easySetopt(easy_.get(), option, value);
  }

  bool ReportParts(CURLU* parts) {
    char* raw = nullptr;
    curl_->urlGet(parts, CURLUPART_HOST, &raw, 0);
    CurlText host(raw);
    raw = nullptr;
    curl_->urlGet(parts, CURLUPART_PORT, &raw, CURLU_DEFAULT_PORT);
    CurlText port(raw);
    raw = nullptr;
    curl_->urlGet(parts, CURLUPART_SCHEME, &raw, 0);
    CurlText scheme(raw);
    raw = nullptr;
    curl_->urlGet(parts, CURLUPART_PATH, &raw, 0);
    std::string path = raw != nullptr ? raw : "";
    curl_->free(raw);
    raw = nullptr;
    // The path keeps its query, as the Windows backend's split does.
    if (curl_->urlGet(parts, CURLUPART_QUERY, &raw, 0) == CURLUE_OK && raw != nullptr) {
      path += "?";
      path += raw;
    }
    curl_->free(raw);
    secure_ = scheme && std::string_view(scheme.get()) == "https";
    return ReportUrlComponents(setup_.strategyName, host ? host.get() : "",
                               port ? std::atoi(port.get()) : 0, path, secure_);
  }

  long ConnectCode() {
    long code = 0;
    curl_->easyGetinfo(easy_.get(), CURLINFO_HTTP_CONNECTCODE, &code);
    return code;
  }

  const char* Describe(CURLcode result) const {
    return errorText_[0] != '\0' ? errorText_ : curl_->easyStrerror(result);
  }

  bool Respond() {
    responded_ = true;
    if (!sink_->OnResponse()) stopped_ = true;
    return !stopped_;
  }

  // Keeps the Content-Length of the latest response's headers (a redirect or an interim
  // response starts a new set with its status line).
  static size_t Header(char* data, size_t size, size_t count, void* self) {
    auto* transport = static_cast<CurlTransport*>(self);
    const std::string_view line(data, size * count);
    constexpr std::string_view kLength = "content-length:";
    if (line.substr(0, 5) == "HTTP/") {
      transport->announced_.reset();
    } else if (line.size() > kLength.size() &&
               std::equal(kLength.begin(), kLength.end(), line.begin(), [](char a, char b) {
                 return a == std::tolower(static_cast<unsigned char>(b));
               })) {
      const std::string value(line.substr(kLength.size()));
      transport->announced_ = static_cast<std::int64_t>(std::strtoll(value.c_str(), nullptr, 10));
    }
    return size * count;
  }

  static size_t Write(char* data, size_t size, size_t count, void* self) {
    auto* transport = static_cast<CurlTransport*>(self);
    const size_t total = size * count;
    if (!transport->responded_ && !transport->Respond()) return 0;
    for (size_t done = 0; done < total;) {
      const int piece = static_cast<int>(std::min<size_t>(total - done, 1 << 30));
      if (!transport->sink_->OnBody(data + done, piece)) {
        transport->stopped_ = true;
        return 0;
      }
      done += static_cast<size_t>(piece);
    }
    return total;
  }

  // libcurl found the body longer than the limit: from its announced length, before reading
  // any of it. The attempt still hears of the response, and refuses it in its own words.
  TransferEnd TooLong(CURLcode result) {
    tooLong_ = true;
    if (!responded_ && !Respond()) return TransferEnd::kStopped;
    if (stopped_) return TransferEnd::kStopped;
    ReportFailure("InternetReadFile", result, Describe(result));
    return TransferEnd::kFailed;
  }

  TransferEnd GiveUp() {
    LogPrintf("[HttpDownloader] [%s] The race is over, giving up.\n", setup_.strategyName.c_str());
    return TransferEnd::kStopped;
  }

  // Called about once a second while connecting and waiting, and whenever data moves: a
  // non-zero answer makes libcurl give the transfer up.
  static int Progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const AttemptSetup& setup = static_cast<CurlTransport*>(self)->setup_;
    return setup.raceOver && setup.raceOver() ? 1 : 0;
  }

  AttemptSetup setup_;
  const CurlApi* curl_ = nullptr;
  std::unique_ptr<CURL, EasyCleanup> easy_;
  std::string proxy_;
  std::string noProxy_;
  bool secure_ = false;
  ResponseSink* sink_ = nullptr;
  bool responded_ = false;
  bool stopped_ = false;
  bool tooLong_ = false;                   // libcurl refused the announced length
  std::optional<std::int64_t> announced_;  // the latest response's Content-Length header
  char errorText_[CURL_ERROR_SIZE] = {};
};

}  // namespace

std::unique_ptr<AttemptTransport> MakeSystemTransport() {
  return std::make_unique<CurlTransport>();
}

}  // namespace ferrolan::net::detail
