#include "tail/tail_reader_os.h"

namespace ferrolan::tail::detail {

// A UNC name ("\\server\share\...") or a drive-letter name ("C:\..."). A drive name written
// with a forward slash ("C:/...") is absolute as well: joining it to the current directory
// would produce a path that does not exist.
bool IsAbsoluteName(const std::string& name) {
  if (name.size() <= 2) return false;
  if (name[0] == '\\' && name[1] == '\\') return true;
  return name[1] == ':' && (name[2] == '\\' || name[2] == '/');
}

}  // namespace ferrolan::tail::detail
