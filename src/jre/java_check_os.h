// The operating-system half of java_check.h: reading the version of a java executable,
// implemented in java_check_win.cpp and java_check_posix.cpp. Private to the jre library.
#pragma once

#include <optional>
#include <string>

#include "jre/java_check.h"

namespace ferrolan::jre::detail {

/// Reads the version of a java executable, logging each step the way JavaCheck reports it.
/// None when there is no version to look at (no resource, a failed read or query, or an empty
/// value). Windows: the version resource of the file through version.dll. POSIX: the
/// JAVA_VERSION of the "release" file two folders above the executable (<jre>/bin/java).
std::optional<FixedVersion> ReadFixedVersion(const std::string& javaPath);

}  // namespace ferrolan::jre::detail
