#include "launcher/test_modes_os.h"

namespace ferrolan::launcher::detail {

std::string ExtractTestRoot() { return "C:\\TEMP"; }

}  // namespace ferrolan::launcher::detail
