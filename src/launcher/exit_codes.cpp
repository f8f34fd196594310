#include "launcher/exit_codes.h"

#include "log/log.h"

namespace ferrolan::launcher {

void EndRun(ExitCode code) { log::EndProcess(static_cast<int>(code)); }

}  // namespace ferrolan::launcher
