#include "tail/params_os.h"

namespace ferrolan::tail::detail {

// There is no shell32 outside Windows: loading it fails, and a failed load ends the step
// silently, as it does on a Windows system without the library.
void ApplyAppUserModelId(const std::string& /*value*/) {}

}  // namespace ferrolan::tail::detail
