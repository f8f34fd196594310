// What a normal run writes to its console, by platform. Implemented in run_output_win.cpp and
// run_output_posix.cpp. Private to the launcher library.
#pragma once

namespace ferrolan::launcher::detail {

/// Whether the log's lines also go to standard output when nobody asked for them (the
/// environment variable FERROLAN_LOG_ECHO=1 asks). Windows: yes, the launcher is a windowed
/// program whose standard output only a caller that redirects it ever sees. POSIX: no, a
/// terminal user would see hundreds of lines on every start; the log file has them all.
bool EchoesLogByDefault();

}  // namespace ferrolan::launcher::detail
