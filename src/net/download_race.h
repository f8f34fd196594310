// The race of five proxy strategies: every way of reaching the download server is tried at
// once, one thread each, and the first attempt that receives data takes the download.
//
// Platforms: portable. The attempts run on the system's transport (download_attempt.h); proxy
// detection and the progress display come in through RaceEnvironment, so tests can replace
// each of them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "net/download_attempt.h"
#include "net/proxy_settings.h"
#include "pipeline/ring_buffer.h"

namespace ferrolan::net {

/// An event that stays set once set, as the race's completion signal needs.
class ManualResetEvent {
 public:
  void Set();
  void Wait();
  bool IsSet();

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool set_ = false;
};

/// What a race takes from the rest of the system.
struct RaceEnvironment {
  /// The transport of each attempt.
  TransportFactory transport;
  /// The proxy the user's settings name for the URL; runs on the caller's thread before the
  /// strategies start. Its lists may be absent.
  std::function<ProxySettings(const std::string& url)> detectProxyForUrl;
  /// The proxy an automatic (WPAD) lookup finds for the URL; runs on the "WPAD" thread.
  std::function<std::optional<ProxySettings>(const std::string& url)> detectAutoProxy;
  /// The progress display (the splash), called by the attempt that owns the download.
  ProgressFn progress;
};

/// The system's environment: the system transport; the system's proxy detection
/// (net/proxy_detection.h); no progress display.
RaceEnvironment SystemRaceEnvironment();

/// One race, shared by the caller and the five strategy threads. It is owned jointly by all of
/// them, so it lives until the last of them lets it go: strategy threads that lost may run on
/// after the caller has its result.
struct DownloadRace {
  /// Guards downloadWorked, claimFailed, threadsLeft and the saving of the working proxy
  /// settings by attempts.
  std::mutex lock;
  /// Serialises the proxy-credential dialogs; guards proxyConnected.
  std::mutex proxyLock;
  int downloadWorked = 0;
  /// Set when the attempt that owned the download failed before the body was complete: the
  /// race then reports failure although downloadWorked is set.
  bool claimFailed = false;
  int proxyConnected = 0;
  std::string url;
  /// The most body bytes the caller accepts (kNoBodyLimit for none).
  std::uint64_t maxBodyBytes = kNoBodyLimit;
  std::shared_ptr<pipeline::RingBuffer> buffer;
  ProxySettings stateProxy;
  int threadsLeft = 0;
  ManualResetEvent done;
  RaceEnvironment environment;
};

/// Fetches `url` into `buffer`, racing the five strategies. Returns 0 when one attempt
/// delivered the whole body (it has closed the buffer), -1 when none did (the race has closed
/// the buffer). A body longer than `maxBodyBytes` is no delivery. Blocks until one of the two
/// is known; losing attempts may still be running.
int RunDownloadRace(const std::string& url, std::uint64_t maxBodyBytes,
                    std::shared_ptr<pipeline::RingBuffer> buffer,
                    const RaceEnvironment& environment = SystemRaceEnvironment());

/// Waits for the strategy threads of earlier races that are still running. The process does
/// this on its way out as well, so no strategy thread outlives the objects it logs through.
void JoinLingeringDownloadThreads();

}  // namespace ferrolan::net
