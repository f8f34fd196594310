#include <filesystem>
#include <system_error>

#include "pack/support/self_path_os.h"

namespace ferrolan::pack::detail {

std::string OwnExecutablePath() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

}  // namespace ferrolan::pack::detail
