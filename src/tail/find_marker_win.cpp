#include "tail/find_marker_os.h"

namespace ferrolan::tail::detail {

// fseek works with a 32-bit long on Windows; launcher files beyond 2 GiB need the 64-bit form.
bool SeekFromCurrent(std::FILE* stream, std::int64_t offset) {
  return _fseeki64(stream, offset, SEEK_CUR) == 0;
}

std::int64_t CurrentOffset(std::FILE* stream) { return _ftelli64(stream); }

}  // namespace ferrolan::tail::detail
