// POSIX policy of the PE patch: programs here are not PE images, and have no console to hide.
#include "fs/pe_patch_os.h"
#include "log/log.h"

namespace ferrolan::fs::detail {

bool AcceptNotAnImage(const std::string& path) {
  log::LogPrintf("[Windows Subsystem] %s is not a PE image; left unchanged\n", path.c_str());
  return true;
}

}  // namespace ferrolan::fs::detail
