#include <filesystem>
#include <system_error>

#include "self_path.h"

namespace ferrolan::pack {

std::string OwnExecutablePath() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

}  // namespace ferrolan::pack
