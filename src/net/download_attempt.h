// One HTTP download attempt under one proxy strategy, and the transport interface it runs on.
//
// The attempt's algorithm is written once, here: the proxy-authentication loop, the content
// length, the claim of the download, the progress, and closing the buffer. What differs by
// platform is only how bytes are fetched, so a transport backend supplies a small table of
// operations (AttemptTransport) and nothing else: WinINet on Windows, libcurl on POSIX. Tests
// put a scripted transport in its place through the race's environment.
//
// Transports differ in who drives the transfer: WinINet is read in a loop, libcurl pushes the
// body into a callback. The interface therefore takes the push form (Transfer calls a sink),
// which a pulling backend implements with its own read loop.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "net/proxy_settings.h"

namespace ferrolan::net {

struct DownloadRace;

/// A body length without a limit of the download's own. Only for a download whose consumer
/// ends the stream itself and keeps the disk reserve while it writes: a compressed archive,
/// which its decoder ends at the archive's end and whose writer stops short of the reserve.
inline constexpr std::uint64_t kNoBodyLimit = std::numeric_limits<std::uint64_t>::max();

/// How an attempt's session finds its proxy. The values are WinINet's access types, which the
/// Windows backend passes on as they are.
enum class AccessType : int {
  kPreconfig = 0,             // the user's configuration, automatic detection included
  kDirect = 1,                // no proxy
  kProxy = 3,                 // the explicit settings of the attempt
  kPreconfigNoAutoProxy = 4,  // the user's configuration without automatic detection
};

/// What a transport needs to open its session and send the request.
struct AttemptSetup {
  std::string strategyName;
  AccessType accessType = AccessType::kDirect;
  std::string url;
  /// The explicit proxy settings, with kProxy only.
  std::optional<ProxySettings> proxy;
  /// The most body bytes the caller accepts. A transport that can refuse an announced length
  /// above it before reading the body does so; the attempt itself stops any body at it.
  std::uint64_t maxBodyBytes = kNoBodyLimit;
  /// True once the race no longer needs this attempt (another attempt delivered, or the race
  /// has ended). A transport that can give up a transfer in progress polls it, so a losing
  /// attempt still waiting for a slow or silent server does not hold on to its thread.
  std::function<bool()> raceOver;
};

/// What the transport reports after asking the user for proxy credentials: the dialog's return
/// code (logged) and whether the request should be sent again with the credentials given.
struct CredentialAnswer {
  int code = 0;
  bool retry = false;
};

/// The proxy a session actually uses, as the transport reads it back.
struct ChosenProxy {
  bool readable = false;  // false: the query failed with `errorCode`
  int errorCode = 0;
  AccessType accessType = AccessType::kDirect;
  std::optional<std::string> proxyList;
  std::optional<std::string> proxyBypassList;
};

/// Receives one response. Both calls return false to stop the transfer.
class ResponseSink {
 public:
  /// Once, when the status line and headers are in and before any body byte.
  virtual bool OnResponse() = 0;
  /// For every run of body bytes, in order; `count` > 0.
  virtual bool OnBody(const char* data, int count) = 0;

 protected:
  ~ResponseSink() = default;
};

enum class TransferEnd {
  kComplete,  // the body ended (the transport read 0 bytes)
  kStopped,   // the sink asked to stop
  kFailed,    // sending or reading failed; the transport has reported it
};

/// The operations one attempt needs from a transport. One object per attempt, used by the
/// attempt's thread only; its destructor closes every handle it holds.
class AttemptTransport {
 public:
  virtual ~AttemptTransport() = default;
  /// Opens the session with the access type and proxy of `setup`, splits the URL and prepares
  /// the request. Logs its own failures (a component too long for the attempt's buffers among
  /// them) and returns false when there is nothing to send.
  virtual bool Open(const AttemptSetup& setup) = 0;
  /// Sends the request (once more with relaxed certificate checks when the first send fails)
  /// and streams the response into `sink`: OnResponse once, then OnBody for each run of bytes.
  virtual TransferEnd Transfer(ResponseSink& sink) = 0;
  /// The response's status code, -1 when it cannot be read. Valid from OnResponse on.
  virtual int StatusCode() = 0;
  /// The announced body length, none when the response announces none.
  virtual std::optional<std::int64_t> ContentLength() = 0;
  /// Asks the user for proxy credentials after a 407 (called under the race's proxy lock).
  virtual CredentialAnswer AskProxyCredentials() = 0;
  /// Sends the request again after the user gave credentials; the status is read again after.
  virtual void Resend() = 0;
  /// The proxy that the session uses for the URL.
  virtual ChosenProxy QueryProxy() = 0;
};

/// Makes the transport of one attempt; given the strategy's name for fakes that script by it.
using TransportFactory =
    std::function<std::unique_ptr<AttemptTransport>(const std::string& strategyName)>;

/// The system's transport: WinINet on Windows, libcurl on POSIX.
std::unique_ptr<AttemptTransport> MakeSystemTransport();

/// The longest host name or URL path an attempt accepts, as WinINet's fixed buffers of 1024
/// bytes allow. Longer components are refused, never cut.
inline constexpr std::size_t kMaxUrlComponent = 1023;

/// Logs the split URL the way every backend reports it and refuses components longer than
/// kMaxUrlComponent (with a message). True when both fit.
bool ReportUrlComponents(const std::string& strategyName, const std::string& host, int port,
                         const std::string& path, bool secure);

/// Restricts downloads to one strategy (the download test mode); none for every strategy.
void SetDownloadOnlyStrategy(std::optional<std::string> strategyName);

/// The progress callback of the attempts (the splash); none for no progress.
using ProgressFn = std::function<void(int percent)>;

/// One attempt: fetches the race's URL with `transport` and, if it claims the download, streams
/// the body into the race's buffer. A body announced or found longer than the race's limit is
/// refused: nothing past the limit is written, and an attempt that owned the download fails it.
/// So does an attempt whose consumer closed the buffer before the body ended. With
/// `useProxySettings`, the explicit settings are `overrideSettings` if given, else the race's state
/// proxy. Returns true when this attempt delivered the whole body and closed the buffer.
bool HttpDownloader(const std::string& strategyName, AccessType accessType, DownloadRace& race,
                    bool useProxySettings, const std::optional<ProxySettings>& overrideSettings,
                    AttemptTransport& transport);

}  // namespace ferrolan::net
