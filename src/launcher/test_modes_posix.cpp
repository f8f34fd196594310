#include <filesystem>
#include <system_error>

#include "launcher/test_modes_os.h"

namespace ferrolan::launcher::detail {

std::string ExtractTestRoot() {
  std::error_code error;
  std::string folder = std::filesystem::temp_directory_path(error).string();
  if (error || folder.empty()) folder = "/tmp";
  return folder;
}

}  // namespace ferrolan::launcher::detail
