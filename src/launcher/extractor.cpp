#include "launcher/extractor.h"

#include "log/log.h"

namespace ferrolan::launcher {

void Extractor(const std::string& programPath, int argCount, char** args, bool prepareOnly) {
  (void)args;
  log::LogPrintf("[Extractor] The executable name is %s\n", programPath.c_str());
  log::LogPrintf("[Extractor] %d argument(s), prepare-only %d\n", argCount, prepareOnly ? 1 : 0);
  // The payload reader is not part of this build yet: without a tail there is nothing to run.
  log::LogPrintf("[Extractor] ************************* Failed to extract wrapper tail\n");
  log::EndProcess(1);
}

}  // namespace ferrolan::launcher
