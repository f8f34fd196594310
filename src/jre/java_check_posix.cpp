// POSIX half of the version check: the version from the JRE's "release" file.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "jre/java_check_os.h"
#include "jre/jre_layout.h"
#include "log/log.h"

namespace ferrolan::jre::detail {

namespace stdfs = std::filesystem;

std::optional<FixedVersion> ReadFixedVersion(const std::string& javaPath) {
  // The executable is <jre>/bin/java; the release file sits at the top of the JRE. The steps
  // are logged with the same lines as the version-resource reader so that logs of both
  // platforms read alike: no file is an empty resource, no JAVA_VERSION a failed query.
  stdfs::path release = stdfs::path(javaPath).parent_path().parent_path() / kReleaseFileName;
  std::ifstream in(release, std::ios::binary);
  if (!in) {
    log::LogPrintf("[JavaCheck] verSize is zero\n");
    return std::nullopt;
  }
  log::LogPrintf("[JavaCheck] Got version size\n");
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) {
    log::LogPrintf("[JavaCheck] get file version info call failed\n");
    return std::nullopt;
  }
  log::LogPrintf("[JavaCheck] Got version info\n");
  std::optional<std::string> version = ReleaseJavaVersion(content.str());
  if (!version) {
    log::LogPrintf("[JavaCheck] ver query value function call failed\n");
    return std::nullopt;
  }
  log::LogPrintf("[JavaCheck] Queried value\n");
  if (version->empty()) {
    log::LogPrintf("[JavaCheck] size is null\n");
    return std::nullopt;
  }
  log::LogPrintf("[JavaCheck] Size OK\n");
  return FixedVersionFromText(*version);
}

}  // namespace ferrolan::jre::detail
