// Windows half of the JRE layout: the file names of a Windows JRE.
#include "jre/jre_layout_os.h"

namespace ferrolan::jre::detail {

const char* PreferredLauncherName() { return "windowslauncher.exe"; }
const char* LauncherName() { return "javaw.exe"; }
const char* JavaExecutableName() { return "java.exe"; }
const char* Unpack200Name() { return "unpack200.exe"; }
const char* JvmLibraryName() { return "jvm.dll"; }
const char* JvmLibraryFolder() { return "bin"; }
const char* ProgramSuffix() { return ".exe"; }

std::optional<std::string> DefaultJreRoot() { return std::nullopt; }

}  // namespace ferrolan::jre::detail
