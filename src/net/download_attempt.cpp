// The attempt's algorithm, written once for every transport. Only the attempt that claims the
// download writes into the race's buffer; every other attempt gives up at its own first bytes,
// so at most one body is transferred in full.
#include "net/download_attempt.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "log/log.h"
#include "net/download_attempt_os.h"
#include "net/download_race.h"
#include "os/os.h"

namespace ferrolan::net {
namespace {

using log::LogPrintf;

// The most bytes one read of the body delivers, and so the most written to the buffer at once.
constexpr int kReadChunk = 32768;

struct OnlyStrategy {
  std::mutex lock;
  std::optional<std::string> name;
};

OnlyStrategy& DownloadOnlyStrategy() {
  static OnlyStrategy only;
  return only;
}

bool SkippedForDebugging(const std::string& strategyName) {
  OnlyStrategy& only = DownloadOnlyStrategy();
  std::lock_guard<std::mutex> hold(only.lock);
  return only.name && *only.name != strategyName;
}

const char* OrEmpty(const std::optional<std::string>& text) { return text ? text->c_str() : ""; }

// Reads back the proxy the session chose and keeps it as the working proxy unless the session
// connects directly.
void QueryWinInetProxy(AttemptTransport& transport) {
  LogPrintf("[HttpDownloader] Querying internet settings for proxy.\n");
  const ChosenProxy chosen = transport.QueryProxy();
  if (!chosen.readable) {
    LogPrintf("[HttpDownloader] InternetQueryOption failed! (%d)\n", chosen.errorCode);
    return;
  }
  if (chosen.accessType == AccessType::kDirect) {
    LogPrintf("[HttpDownloader] Direct connection (no proxy) found.\n");
    return;
  }
  LogPrintf("[HttpDownloader] Detected proxy: %d '%s' '%s'\n", static_cast<int>(chosen.accessType),
            OrEmpty(chosen.proxyList), OrEmpty(chosen.proxyBypassList));
  SaveWorkingProxySettings(chosen.proxyList, chosen.proxyBypassList);
}

// One attempt's state from the response on: the proxy-authentication loop, the length, the
// claim and the body.
class Attempt final : public ResponseSink {
 public:
  enum class GaveUp { kNo, kAtProxy, kLostRace };

  Attempt(const std::string& name, DownloadRace& race, AttemptTransport& transport,
          bool useProxySettings, const std::optional<ProxySettings>& overrideSettings)
      : name_(name),
        race_(race),
        transport_(transport),
        useProxySettings_(useProxySettings),
        override_(overrideSettings) {}

  bool OnResponse() override {
    int status = transport_.StatusCode();
    LogPrintf("[HttpDownloader] [%s] [4] Starting download...\n", name_.c_str());
    if (status == 407 && !Authenticate(status)) return false;
    LogPrintf("[HttpDownloader] [%s] Connection setup, querying length\n", name_.c_str());
    length_ = transport_.ContentLength();
    if (length_) {
      LogPrintf("[HttpDownloader] [%s] Required file size is %lld\n", name_.c_str(),
                static_cast<long long>(*length_));
    } else {
      LogPrintf("[HttpDownloader] [%s] Required file size is unknown!\n", name_.c_str());
    }
    if (length_ && *length_ > 0 && static_cast<std::uint64_t>(*length_) > race_.maxBodyBytes) {
      LogPrintf(
          "[HttpDownloader] [%s] Required file size %lld is above the limit of %llu bytes, "
          "refusing the download\n",
          name_.c_str(), static_cast<long long>(*length_),
          static_cast<unsigned long long>(race_.maxBodyBytes));
      return false;
    }
    remaining_ = length_.value_or(-1);
    startSeconds_ = os::MonotonicMs() / 1000;
    // A body announced as empty has nothing to read.
    if (length_ && *length_ == 0) return false;
    ShowProgress();
    return true;
  }

  bool OnBody(const char* data, int count) override {
    // Checked before anything of the run is written, so no byte past the limit reaches the
    // consumer. A server without a length, or one that sends more than it announced, is
    // stopped here.
    received_ += static_cast<std::uint64_t>(count);
    if (received_ > race_.maxBodyBytes) {
      LogPrintf(
          "[HttpDownloader] [%s] The body is longer than the limit of %llu bytes, giving up "
          "the download\n",
          name_.c_str(), static_cast<unsigned long long>(race_.maxBodyBytes));
      return false;
    }
    remaining_ -= count;
    if (!claimed_ && !Claim()) return false;
    // A buffer write stores all of its bytes or waits, so no piece may exceed the buffer.
    pipeline::RingBuffer& buffer = *race_.buffer;
    const int piece = std::max(1, std::min(kReadChunk, buffer.capacity()));
    for (int done = 0; done < count; done += piece) {
      if (pipeline::RingBuffer_write(buffer, data + done, std::min(piece, count - done)) < 0) {
        // The consumer has closed the buffer: it has what it wants, or it failed. Reading on
        // would only throw the rest of the body away, and a body without end would never let
        // the race finish.
        LogPrintf("[HttpDownloader] [%s] The download's reader takes no more data, giving up\n",
                  name_.c_str());
        return false;
      }
    }
    ShowProgress();
    return true;
  }

  // Takes the download for this attempt unless another attempt has it, and records the proxy
  // settings that worked, both under the race's lock.
  bool Claim() {
    {
      std::lock_guard<std::mutex> hold(race_.lock);
      LogPrintf("[HttpDownloader] [%s] Download is now active.\n", name_.c_str());
      if (race_.downloadWorked) {
        LogPrintf("[HttpDownloader] [%s] Thread returning as another has worked\n", name_.c_str());
        gaveUp_ = GaveUp::kLostRace;
        return false;
      }
      claimed_ = true;
      race_.downloadWorked = 1;
      LogPrintf("[HttpDownloader] [%s] Opened file. Set downloadWorked to TRUE (%d)\n",
                name_.c_str(), 1);
      RecordWorkingProxy();
    }
    LogPrintf("[HttpDownloader] [%s] Starting to write data to file...\n", name_.c_str());
    return true;
  }

  // The owner of the download failed before the body was complete. Nobody else will write the
  // buffer, so it is closed here and the race told to report failure; the consumer sees the end
  // of its stream instead of waiting for bytes that never come.
  void FailOwnedDownload() {
    {
      std::lock_guard<std::mutex> hold(race_.lock);
      race_.claimFailed = true;
    }
    LogPrintf("[HttpDownloader] [%s] Download failed after it had started. Closing buffer.\n",
              name_.c_str());
    pipeline::RingBuffer_close(*race_.buffer);
    race_.done.Set();
  }

  // Only the owner of the download moves the progress bar: a losing attempt that reached its
  // first read after the owner had finished would otherwise set the bar back.
  void ShowProgress(std::optional<int> percent = std::nullopt) const {
    if (!claimed_ || !race_.environment.progress) return;
    if (!percent) {
      percent = length_ && *length_ > 0 ? static_cast<int>(100 - remaining_ * 100 / *length_) : -1;
    }
    race_.environment.progress(*percent);
  }

  GaveUp gaveUp() const { return gaveUp_; }
  bool claimed() const { return claimed_; }
  bool announcedEmpty() const { return length_ && *length_ == 0; }
  std::int64_t remaining() const { return remaining_; }
  std::uint64_t startSeconds() const { return startSeconds_; }

 private:
  // The credential loop while the proxy answers 407. The first attempt to get here asks the
  // user; once one attempt is past the proxy (or the user refused), every later one gives up
  // without asking again.
  bool Authenticate(int& status) {
    std::unique_lock<std::mutex> proxyHold(race_.proxyLock);
    if (race_.proxyConnected) {
      LogPrintf(
          "[HttpDownloader] [%s] Proxy thread returning as another has connected to the proxy\n",
          name_.c_str());
      gaveUp_ = GaveUp::kAtProxy;
      return false;
    }
    while (status == 407) {
      LogPrintf("[HttpDownloader] [%s] Status code is %d\n", name_.c_str(), status);
      const CredentialAnswer answer = transport_.AskProxyCredentials();
      LogPrintf("[HttpDownloader] [%s] InternetErrorDlg return code is %d\n", name_.c_str(),
                answer.code);
      if (!answer.retry) {
        race_.proxyConnected = 1;
        proxyHold.unlock();
        LogPrintf("[HttpDownloader] [%s] Could not get proxy credentials.\n", name_.c_str());
        gaveUp_ = GaveUp::kAtProxy;
        return false;
      }
      transport_.Resend();
      status = transport_.StatusCode();
    }
    race_.proxyConnected = 1;
    return true;
  }

  void RecordWorkingProxy() {
    if (useProxySettings_ && override_) {
      LogPrintf("[HttpDownloader] [%s] Using override proxy settings.\n", name_.c_str());
      SaveWorkingProxySettings(override_->proxyList, override_->proxyBypassList);
      return;
    }
    if (useProxySettings_) {
      LogPrintf("[HttpDownloader] [%s] Copying proxy settings.\n", name_.c_str());
      SaveWorkingProxySettings(race_.stateProxy.proxyList, race_.stateProxy.proxyBypassList);
      return;
    }
    LogPrintf("[HttpDownloader] [%s] No proxy settings detected.\n", name_.c_str());
    if (name_ == "Proxy Non Auto" && !WorkingProxySettings()) {
      LogPrintf("[HttpDownloader] [%s] [Special Case] No existing proxy settings found.\n",
                name_.c_str());
      SaveWorkingProxySettings(race_.stateProxy.proxyList, race_.stateProxy.proxyBypassList);
    }
    QueryWinInetProxy(transport_);
  }

  const std::string& name_;
  DownloadRace& race_;
  AttemptTransport& transport_;
  const bool useProxySettings_;
  const std::optional<ProxySettings>& override_;
  std::optional<std::int64_t> length_;
  std::int64_t remaining_ = -1;
  std::uint64_t received_ = 0;
  std::uint64_t startSeconds_ = 0;
  bool claimed_ = false;
  GaveUp gaveUp_ = GaveUp::kNo;
};

}  // namespace

bool ReportUrlComponents(const std::string& strategyName, const std::string& host, int port,
                         const std::string& path, bool secure) {
  if (host.size() > kMaxUrlComponent || path.size() > kMaxUrlComponent) {
    LogPrintf(
        "[HttpDownloader] [%s] Host name or URL path longer than %d characters, refusing "
        "the URL\n",
        strategyName.c_str(), static_cast<int>(kMaxUrlComponent));
    return false;
  }
  LogPrintf("[HttpDownloader] Hostname = %s\n", host.c_str());
  LogPrintf("[HttpDownloader] nPort = %d\n", port);
  LogPrintf("[HttpDownloader] lpszUrlPath = %s\n", path.c_str());
  LogPrintf("[HttpDownloader] secure = %d\n", secure ? 1 : 0);
  return true;
}

std::unique_ptr<AttemptTransport> MakeSystemTransport() { return detail::MakeSystemTransport(); }

void SetDownloadOnlyStrategy(std::optional<std::string> strategyName) {
  OnlyStrategy& only = DownloadOnlyStrategy();
  std::lock_guard<std::mutex> hold(only.lock);
  only.name = std::move(strategyName);
}

bool HttpDownloader(const std::string& strategyName, AccessType accessType, DownloadRace& race,
                    bool useProxySettings, const std::optional<ProxySettings>& overrideSettings,
                    AttemptTransport& transport) {
  const char* name = strategyName.c_str();
  if (SkippedForDebugging(strategyName)) {
    LogPrintf("[HttpDownloader] [%s] Skipping for debug purposes.\n", name);
    return false;
  }
  LogPrintf("[HttpDownloader] [%s] [1] Starting download...\n", name);
  AttemptSetup setup;
  setup.strategyName = strategyName;
  setup.accessType = accessType;
  setup.url = race.url;
  if (useProxySettings) setup.proxy = overrideSettings ? *overrideSettings : race.stateProxy;
  setup.maxBodyBytes = race.maxBodyBytes;
  // The owner of the download ends its transfer before it sets `done`, so whoever still
  // transfers once `done` is set has lost.
  setup.raceOver = [&race] { return race.done.IsSet(); };
  if (!transport.Open(setup)) return false;

  LogPrintf("[HttpDownloader] [%s] [3] Starting download...\n", name);
  Attempt attempt(strategyName, race, transport, useProxySettings, overrideSettings);
  const TransferEnd end = transport.Transfer(attempt);
  if (attempt.gaveUp() != Attempt::GaveUp::kNo) return false;
  const bool bodyEnded =
      end == TransferEnd::kComplete || (end == TransferEnd::kStopped && attempt.announcedEmpty());
  if (!bodyEnded) {
    if (attempt.claimed()) attempt.FailOwnedDownload();
    return false;
  }
  if (end == TransferEnd::kComplete) {
    LogPrintf("[HttpDownloader] [%s] Read 0 bytes so finishing.\n", name);
  }
  if (attempt.remaining() > 0) {
    LogPrintf(
        "[HttpDownloader] [%s] Warning: download complete but required length is still "
        "%lld.\n",
        name, static_cast<long long>(attempt.remaining()));
    if (attempt.claimed()) attempt.FailOwnedDownload();
    return false;
  }
  // An empty body is a complete download too, but only for the attempt that gets to claim it:
  // the buffer is closed, and the race signalled, exactly once, by the owner of the download.
  if (!attempt.claimed() && !attempt.Claim()) return false;
  const std::uint64_t endSeconds = os::MonotonicMs() / 1000;
  LogPrintf("[HttpDownloader] [%s] Closing buffer... (download took %lf)\n", name,
            static_cast<double>(endSeconds - attempt.startSeconds()));
  pipeline::RingBuffer_close(*race.buffer);
  attempt.ShowProgress(100);
  race.done.Set();
  return true;
}

}  // namespace ferrolan::net
