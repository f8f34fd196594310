// The race: five strategy threads over one shared record. The record is held jointly by the
// caller and every strategy thread (a shared pointer each), so a thread that lost and is still
// waiting on its transport can never touch a released record. The threads themselves are kept
// by a process-wide owner that joins them: finished ones when the next race starts, the rest
// when asked or when the process ends.
#include "net/download_race.h"

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "log/log.h"
#include "net/proxy_detection.h"

namespace ferrolan::net {
namespace {

using log::LogPrintf;

constexpr int kStrategyCount = 5;

struct Strategy {
  const char* name;
  AccessType accessType;
};

// The order in which the threads start. The winner is chosen by time, not by this order.
constexpr Strategy kStrategies[kStrategyCount] = {
    {"Direct", AccessType::kDirect},
    {"State Proxy", AccessType::kProxy},
    {"WPAD", AccessType::kProxy},
    {"Windows Proxy", AccessType::kPreconfig},
    {"Proxy Non Auto", AccessType::kPreconfigNoAutoProxy},
};

// Owns every strategy thread of the process. A thread marks itself finished as its last step,
// after it has let go of its race; joining such a thread returns at once.
class StrategyThreads {
 public:
  ~StrategyThreads() { JoinAll(); }

  void Adopt(std::thread thread, std::shared_ptr<std::atomic<bool>> finished) {
    std::vector<Entry> done;
    {
      std::lock_guard<std::mutex> hold(lock_);
      for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->finished->load()) {
          done.push_back(std::move(*it));
          it = entries_.erase(it);
        } else {
          ++it;
        }
      }
      entries_.push_back(Entry{std::move(thread), std::move(finished)});
    }
    for (Entry& entry : done) entry.thread.join();
  }

  void JoinAll() {
    std::vector<Entry> all;
    {
      std::lock_guard<std::mutex> hold(lock_);
      all.swap(entries_);
    }
    for (Entry& entry : all) entry.thread.join();
  }

 private:
  struct Entry {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished;
  };
  std::mutex lock_;
  std::vector<Entry> entries_;
};

StrategyThreads& Threads() {
  static StrategyThreads threads;
  return threads;
}

void FinishStrategyThread(const char* name, DownloadRace& race) {
  LogPrintf("[HttpDownloader] [%s] Finishing off thread...\n", name);
  std::lock_guard<std::mutex> hold(race.lock);
  --race.threadsLeft;
  if (race.threadsLeft <= 0) race.done.Set();
  LogPrintf("[HttpDownloader] [%s] --- End --- (worked=%d,threads=%d)\n", name, race.downloadWorked,
            race.threadsLeft);
}

void RunStrategy(const Strategy& strategy, DownloadRace& race) {
  const std::string name = strategy.name;
  LogPrintf("[HttpDownloader] [%s] +++ Start +++\n", name.c_str());
  {
    // The caller holds the lock until all five threads exist.
    std::lock_guard<std::mutex> hold(race.lock);
    LogPrintf("[HttpDownloader] [%s] Got lock - running now.\n", name.c_str());
  }
  std::optional<ProxySettings> settings;
  bool useProxySettings = false;
  bool runs = true;
  if (name == "State Proxy") {
    useProxySettings = true;
    runs = race.stateProxy.proxyList.has_value();
    if (runs) settings = race.stateProxy;
  } else if (name == "WPAD") {
    LogPrintf("[HttpDownloader] [WPAD] Detecting WPAD proxy configuration\n");
    useProxySettings = true;
    if (race.environment.detectAutoProxy) settings = race.environment.detectAutoProxy(race.url);
    runs = settings && settings->proxyList;
  }
  if (runs) {
    if (useProxySettings) {
      LogPrintf("[HttpDownloader] [%s] Downloading with proxy settings (%s, %s)\n", name.c_str(),
                settings->proxyList->c_str(),
                settings->proxyBypassList ? settings->proxyBypassList->c_str() : "-");
    }
    LogPrintf("[HttpDownloader] [%s] Starting download attempt...\n", name.c_str());
    std::unique_ptr<AttemptTransport> transport = race.environment.transport(name);
    // Only "WPAD" hands its own settings over; "State Proxy" uses the race's.
    const std::optional<ProxySettings> override =
        name == "WPAD" ? settings : std::optional<ProxySettings>();
    HttpDownloader(name, strategy.accessType, race, useProxySettings, override, *transport);
  }
  FinishStrategyThread(name.c_str(), race);
}

}  // namespace

void ManualResetEvent::Set() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    set_ = true;
  }
  changed_.notify_all();
}

void ManualResetEvent::Wait() {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait(hold, [this] { return set_; });
}

bool ManualResetEvent::IsSet() {
  std::lock_guard<std::mutex> hold(lock_);
  return set_;
}

RaceEnvironment SystemRaceEnvironment() {
  RaceEnvironment environment;
  environment.transport = [](const std::string&) { return MakeSystemTransport(); };
  environment.detectProxyForUrl = [](const std::string& url) { return DetectProxyForUrl(url); };
  // The "WPAD" strategy asks for discovery alone, without a configuration script.
  environment.detectAutoProxy = [](const std::string& url) {
    return std::optional<ProxySettings>(DetectAutoProxy(url));
  };
  return environment;
}

int RunDownloadRace(const std::string& url, std::uint64_t maxBodyBytes,
                    std::shared_ptr<pipeline::RingBuffer> buffer,
                    const RaceEnvironment& environment) {
  auto race = std::make_shared<DownloadRace>();
  race->url = url;
  race->maxBodyBytes = maxBodyBytes;
  race->buffer = std::move(buffer);
  race->environment = environment;
  if (environment.detectProxyForUrl) race->stateProxy = environment.detectProxyForUrl(url);

  {
    std::lock_guard<std::mutex> hold(race->lock);
    for (const Strategy& strategy : kStrategies) {
      auto finished = std::make_shared<std::atomic<bool>>(false);
      std::thread thread([race, &strategy, finished]() mutable {
        RunStrategy(strategy, *race);
        race.reset();
        finished->store(true);
      });
      Threads().Adopt(std::move(thread), std::move(finished));
    }
    race->threadsLeft = kStrategyCount;
  }

  race->done.Wait();
  bool worked = false;
  {
    std::lock_guard<std::mutex> hold(race->lock);
    worked = race->downloadWorked != 0 && !race->claimFailed;
  }
  LogPrintf("[HttpDownloader] Download Tasks Complete! (success=%d)\n", worked ? 1 : 0);
  LogPrintf("[HttpDownloader] Saving any detected proxy settings\n");
  SaveWorkingProxySettings(race->stateProxy.proxyList, race->stateProxy.proxyBypassList);
  if (worked) return 0;
  LogPrintf("[HttpDownloader] Downloads failed. Closing buffer.\n");
  pipeline::RingBuffer_close(*race->buffer);
  return -1;
}

void JoinLingeringDownloadThreads() { Threads().JoinAll(); }

}  // namespace ferrolan::net
