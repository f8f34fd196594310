#include "testing/files_os.h"

namespace ferrolan::testing::detail {

// The standard library's links are the system's own here: there is no other way.
bool MakeHostFolderLink(const std::filesystem::path&, const std::filesystem::path&) {
  return false;
}

bool RemoveHostLink(const std::filesystem::path&) { return false; }

bool UnderWine() { return false; }

}  // namespace ferrolan::testing::detail
