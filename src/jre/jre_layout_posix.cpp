// POSIX half of the JRE layout: the file names of a POSIX JRE.
#include "jre/jre_layout_os.h"

namespace ferrolan::jre::detail {

const char* PreferredLauncherName() { return nullptr; }
const char* LauncherName() { return "java"; }
const char* JavaExecutableName() { return "java"; }
const char* Unpack200Name() { return "unpack200"; }
const char* JvmLibraryName() { return "libjvm.so"; }
const char* JvmLibraryFolder() { return "lib"; }
const char* ProgramSuffix() { return ""; }

std::optional<std::string> DefaultJreRoot() { return std::string("/usr/lib/jvm"); }

}  // namespace ferrolan::jre::detail
