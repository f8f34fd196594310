#include "jre/cacerts.h"
#include "fs/owned_file.h"

#include <cstdio>
#include <memory>

#include "fs/file_ops.h"
#include "fs/path.h"
#include "log/log.h"

namespace ferrolan::jre {
namespace {

// The name the new trust store is written under before it replaces the old one.
constexpr const char* kStagingSuffix = ".ferrolan-new";

}  // namespace

std::string TrustStorePath(const std::string& jreFolder) {
  std::string path;
  fs::PathJoin4(path, jreFolder, "lib", "security", "cacerts");
  return path;
}

void OverrideCacerts(const std::string& overrideFile, const std::string& jreFolder) {
  std::string target = TrustStorePath(jreFolder);
  log::LogPrintf("[Extractor] CACerts path %s exists\n", overrideFile.c_str());
  log::LogPrintf("[Extractor] TargetCACerts path is %s\n", target.c_str());

  // The override is opened before anything is removed: deleting the old trust store first
  // would leave the JRE with none at all when the override cannot be read.
  fs::OwnedFile source = fs::OpenFile(overrideFile, "rb");
  if (!source) {
    log::LogPrintf(
        "[Extractor] *************************** Unable to open source file for copy %s\n",
        overrideFile.c_str());
    return;
  }
  log::LogPrintf("[Extractor] Copying FILE %s\n", target.c_str());
  std::string staging = target + kStagingSuffix;
  if (!fs::CopyStreamToFile(staging, source.get())) {
    // A half-written trust store would make every TLS connection of the application fail;
    // the old one stays in force instead.
    std::remove(staging.c_str());
    return;
  }
  source.reset();

  if (fs::FileExists(target) != 0) {
    log::LogPrintf("[Extractor] Removing old cacerts file\n");
    int result = std::remove(target.c_str()) == 0 ? 0 : -1;
    log::LogPrintf("[Extractor] Result = %d\n", result);
  }
  if (std::rename(staging.c_str(), target.c_str()) != 0) {
    log::LogSystemError("Extractor", "Moving the new cacerts into place");
    std::remove(staging.c_str());
  }
}

void ApplyCacertsOverride(const std::string& overrideFile, const std::string& jreFolder) {
  log::LogPrintf("[Extractor] JRE setup. Overriding cacerts.\n");
  if (fs::FileExists(overrideFile) != 0) {
    OverrideCacerts(overrideFile, jreFolder);
  } else {
    log::LogPrintf("[Extractor] Override CACerts does not exist.\n");
  }
}

}  // namespace ferrolan::jre
