#include <cstdlib>
#include <string>

#include "pack/archive/archive_cache_os.h"

namespace ferrolan::pack::detail {

std::string UserCacheFolder() {
  const char* local = std::getenv("LOCALAPPDATA");
  return local != nullptr && local[0] != '\0' ? std::string(local) : std::string();
}

}  // namespace ferrolan::pack::detail
