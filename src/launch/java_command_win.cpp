#include "launch/java_command_os.h"

namespace ferrolan::launch::detail {

char ClasspathSeparator() { return ';'; }

}  // namespace ferrolan::launch::detail
