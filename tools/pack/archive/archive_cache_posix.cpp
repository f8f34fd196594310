#include <cstdlib>
#include <string>

#include "pack/archive/archive_cache_os.h"

namespace ferrolan::pack::detail {

std::string UserCacheFolder() {
  // The XDG base directory rules: a relative XDG_CACHE_HOME is invalid and ignored.
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.cache";
  return {};
}

}  // namespace ferrolan::pack::detail
