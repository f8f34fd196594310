// The operating-system half of archive_cache.h, implemented in archive_cache_win.cpp and
// archive_cache_posix.cpp. Private to the packager.
#pragma once

#include <string>

namespace ferrolan::pack::detail {

/// The user's folder for caches, or empty when the environment names none: LOCALAPPDATA on
/// Windows; XDG_CACHE_HOME, else HOME/.cache, on POSIX.
std::string UserCacheFolder();

}  // namespace ferrolan::pack::detail
