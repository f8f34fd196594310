// What each platform does with a file that is not a PE image. Private to the fs library.
#pragma once

#include <string>

namespace ferrolan::fs::detail {

/// Windows: the program would keep its console, so the file is refused (false).
/// POSIX: the file is some other kind of program; it is logged and accepted unchanged (true).
bool AcceptNotAnImage(const std::string& path);

}  // namespace ferrolan::fs::detail
