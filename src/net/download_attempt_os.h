// The transport backends of the download attempt: WinINet (download_attempt_win.cpp) and
// libcurl (download_attempt_posix.cpp). Private to the net subsystem.
#pragma once

#include <memory>

#include "net/download_attempt.h"

namespace ferrolan::net::detail {

/// A transport of the platform's HTTP library for one attempt.
std::unique_ptr<AttemptTransport> MakeSystemTransport();

}  // namespace ferrolan::net::detail
