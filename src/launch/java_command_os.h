// The OS-bound facts of a Java command line (java_command_win.cpp / java_command_posix.cpp).
// Private to the launch subsystem.
#pragma once

namespace ferrolan::launch::detail {

char ClasspathSeparator();

}  // namespace ferrolan::launch::detail
