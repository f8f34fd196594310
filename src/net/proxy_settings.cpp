#include "net/proxy_settings.h"

#include <cstdio>
#include <mutex>

#include "fs/owned_file.h"
#include "fs/path.h"
#include "log/log.h"

namespace ferrolan::net {
namespace {

using log::LogPrintf;

// The record is written once by a race and read by the main flow between races. A lock costs
// nothing here and keeps a reader on another thread (a test, the download test mode) safe.
struct WorkingRecord {
  std::mutex lock;
  std::optional<ProxySettings> settings;
};

WorkingRecord& Working() {
  static WorkingRecord record;
  return record;
}

}  // namespace

std::optional<ProxySettings> WorkingProxySettings() {
  WorkingRecord& record = Working();
  std::lock_guard<std::mutex> hold(record.lock);
  return record.settings;
}

void SaveWorkingProxySettings(const std::optional<std::string>& proxyList,
                              const std::optional<std::string>& proxyBypassList) {
  WorkingRecord& record = Working();
  std::lock_guard<std::mutex> hold(record.lock);
  if (record.settings) {
    LogPrintf(
        "[HttpDownloader] Asked to save working proxy settings, but settings already exist, so "
        "skipping.");
    return;
  }
  LogPrintf("[HttpDownloader] No existing proxy settings found, so saving.\n");
  record.settings = ProxySettings{proxyList, proxyBypassList};
}

void ResetWorkingProxySettingsForTesting() {
  WorkingRecord& record = Working();
  std::lock_guard<std::mutex> hold(record.lock);
  record.settings.reset();
}

void SaveProxyConfiguration(const std::string& sharedConfigFolder,
                            const std::optional<ProxySettings>& working) {
  if (!working) {
    LogPrintf("[Proxy] No working proxy was found, so no proxy to be saved.\n");
    return;
  }
  LogPrintf("[Proxy] Saving proxy settings now.\n");
  std::string path = sharedConfigFolder;
  fs::PathJoin(path, "DetectedProxy");
  if (!working->proxyList) {
    std::remove(path.c_str());
    return;
  }
  fs::OwnedFile file = fs::OpenFile(path, "wb");
  if (!file) return;
  std::fwrite(working->proxyList->data(), 1, working->proxyList->size(), file.get());
  LogPrintf("[Proxy] Saved proxy list\n");
  if (working->proxyBypassList) {
    std::fwrite("\r\n", 1, 2, file.get());
    std::fwrite(working->proxyBypassList->data(), 1, working->proxyBypassList->size(), file.get());
    LogPrintf("[Proxy] Saved proxy bypass list\n");
  }
}

}  // namespace ferrolan::net
