#include "pack/support/self_path.h"

#include "pack/support/self_path_os.h"

namespace ferrolan::pack {

std::string OwnExecutablePath() { return detail::OwnExecutablePath(); }

}  // namespace ferrolan::pack
