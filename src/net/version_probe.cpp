#include "net/version_probe.h"

#include <chrono>
#include <cstdint>

#include "fs/path.h"
#include "log/log.h"
#include "net/download_pipelines.h"
#include "tail/payload_layout.h"

namespace ferrolan::net {

std::string MillisText() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  return std::to_string(static_cast<std::uint32_t>(static_cast<std::uint64_t>(millis)));
}

ProbeOutcome ProbeVersionFile(const std::string& folder, const std::string& updateUrl,
                              const std::string& component, const RaceEnvironment& environment) {
  if (updateUrl.compare(0, sizeof kNoUpdateServerUrl - 1, kNoUpdateServerUrl) == 0) {
    log::LogPrintf("[Extractor] Invalid Update URL. Skipping...\n");
    return ProbeOutcome::kSkipped;
  }
  const std::string name = tail::VersionFileName(component);
  std::string path = folder;
  fs::PathJoin(path, name);
  const std::string url = updateUrl + name + "?time=" + MillisText();
  if (path.size() > kMaxProbePath || url.size() > kMaxProbeUrl) {
    log::LogPrintf("[Extractor] Version file path or URL too long (%zu, %zu). Skipping...\n",
                   path.size(), url.size());
    return ProbeOutcome::kRefused;
  }
  return DownloadToFile(url, path, kMaxVersionFileBytes, environment) != 0
             ? ProbeOutcome::kFetched
             : ProbeOutcome::kNotFetched;
}

}  // namespace ferrolan::net
