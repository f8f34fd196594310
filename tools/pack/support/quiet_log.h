// Keeps the launcher's log off the console while it lives. The packager runs the launcher's own
// readers and the Spawner, which log every step for a launcher's log file; the person running
// the packager sees the packager's own messages instead.
#pragma once

#include "log/log.h"

namespace ferrolan::pack {

class QuietLog {
 public:
  QuietLog() { log::SetConsoleEnabled(false); }
  ~QuietLog() { log::SetConsoleEnabled(true); }
  QuietLog(const QuietLog&) = delete;
  QuietLog& operator=(const QuietLog&) = delete;
};

}  // namespace ferrolan::pack
