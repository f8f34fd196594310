#include "archive/entry_format_os.h"

namespace ferrolan::archive::detail {

bool NamesAlias() { return false; }

}  // namespace ferrolan::archive::detail
