// Windows policy of the PE patch: a program that cannot be made windowed is refused.
#include "fs/pe_patch_os.h"

namespace ferrolan::fs::detail {

bool AcceptNotAnImage(const std::string&) { return false; }

}  // namespace ferrolan::fs::detail
