#include "launcher/run_output_os.h"

namespace ferrolan::launcher::detail {

bool EchoesLogByDefault() { return true; }

}  // namespace ferrolan::launcher::detail
