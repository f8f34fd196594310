// POSIX policy of the PE patch: programs here are not PE images, and have no console to hide.
#include "fs/pe_patch_os.h"
#include "log/log.h"

namespace ferrolan::fs::detail {

void NotAnImage(const std::string& path) {
  log::LogPrintf("[Windows Subsystem] %s is not a PE image; left unchanged\n", path.c_str());
}

}  // namespace ferrolan::fs::detail
