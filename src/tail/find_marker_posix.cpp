#include <sys/types.h>

#include "tail/find_marker_os.h"

namespace ferrolan::tail::detail {

bool SeekFromCurrent(std::FILE* stream, std::int64_t offset) {
  return fseeko(stream, static_cast<off_t>(offset), SEEK_CUR) == 0;
}

std::int64_t CurrentOffset(std::FILE* stream) { return static_cast<std::int64_t>(ftello(stream)); }

}  // namespace ferrolan::tail::detail
