// The operating-system half of the tail reader, implemented in tail_reader_win.cpp and
// tail_reader_posix.cpp. Private to the tail library.
#pragma once

#include <string>

namespace ferrolan::tail::detail {

/// True when `name` is absolute on this platform (the rule is stated at IsAbsoluteName in
/// tail_reader.h).
bool IsAbsoluteName(const std::string& name);

}  // namespace ferrolan::tail::detail
