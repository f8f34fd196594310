// Windows half of the version check: the version resource of java.exe through version.dll.
#include <vector>

#include "jre/java_check_os.h"
#include "log/log.h"
#include "os/windows.h"

namespace ferrolan::jre::detail {

std::optional<FixedVersion> ReadFixedVersion(const std::string& javaPath) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(javaPath.c_str(), &ignored);
  if (size == 0) {
    log::LogPrintf("[JavaCheck] verSize is zero\n");
    return std::nullopt;
  }
  std::vector<char> data(size);
  log::LogPrintf("[JavaCheck] Got version size\n");
  if (!GetFileVersionInfoA(javaPath.c_str(), 0, size, data.data())) {
    log::LogPrintf("[JavaCheck] get file version info call failed\n");
    return std::nullopt;
  }
  log::LogPrintf("[JavaCheck] Got version info\n");
  void* value = nullptr;
  UINT length = 0;
  char root[] = "\\";
  if (!VerQueryValueA(data.data(), root, &value, &length)) {
    log::LogPrintf("[JavaCheck] ver query value function call failed\n");
    return std::nullopt;
  }
  log::LogPrintf("[JavaCheck] Queried value\n");
  if (length == 0 || value == nullptr) {
    log::LogPrintf("[JavaCheck] size is null\n");
    return std::nullopt;
  }
  log::LogPrintf("[JavaCheck] Size OK\n");
  // The query may return a block shorter than the structure in a damaged resource; only a
  // whole one is read.
  if (length < sizeof(VS_FIXEDFILEINFO)) return FixedVersion{};
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
  return FixedVersion{info->dwSignature, info->dwProductVersionMS, info->dwProductVersionLS};
}

}  // namespace ferrolan::jre::detail
