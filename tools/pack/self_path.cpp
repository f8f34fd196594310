#include "self_path.h"

#include "self_path_os.h"

namespace ferrolan::pack {

std::string OwnExecutablePath() { return detail::OwnExecutablePath(); }

}  // namespace ferrolan::pack
