#include <vector>

#include "os/windows.h"
#include "pack/support/self_path_os.h"

namespace ferrolan::pack::detail {

std::string OwnExecutablePath() {
  // The name may be longer than MAX_PATH; grow the buffer until it fits.
  std::vector<char> buffer(MAX_PATH);
  while (buffer.size() <= 32768) {
    DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
  return {};
}

}  // namespace ferrolan::pack::detail
