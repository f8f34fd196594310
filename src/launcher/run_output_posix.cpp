#include "launcher/run_output_os.h"

namespace ferrolan::launcher::detail {

bool EchoesLogByDefault() { return false; }

}  // namespace ferrolan::launcher::detail
