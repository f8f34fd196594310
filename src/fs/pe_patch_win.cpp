// Windows policy of the PE patch: a program that cannot be made windowed is fatal.
#include "fs/pe_patch_os.h"
#include "log/log.h"

namespace ferrolan::fs::detail {

void NotAnImage(const std::string&) { log::EndProcess(1); }

}  // namespace ferrolan::fs::detail
