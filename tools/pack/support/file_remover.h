// Removes a file, or a folder with everything in it, when it goes out of scope unless released,
// so temporary and partial outputs never outlive a failed run.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

namespace ferrolan::pack {

// kWholeFolder: a work or partial folder, removed with everything in it; else one file.
template <bool kWholeFolder>
class PathRemover {
 public:
  explicit PathRemover(std::string path) : path_(std::move(path)) {}
  ~PathRemover() {
    if (path_.empty()) return;
    std::error_code ignored;
    if constexpr (kWholeFolder) {
      std::filesystem::remove_all(path_, ignored);
    } else {
      std::filesystem::remove(path_, ignored);
    }
  }
  PathRemover(const PathRemover&) = delete;
  PathRemover& operator=(const PathRemover&) = delete;
  const std::string& path() const { return path_; }
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

using FileRemover = PathRemover<false>;
using FolderRemover = PathRemover<true>;

/// Empties `folder` of whatever an earlier run left there and creates it. False when it cannot
/// be created.
inline bool MakeFreshFolder(const std::string& folder) {
  std::error_code error;
  std::filesystem::remove_all(folder, error);
  return std::filesystem::create_directories(folder, error) && !error;
}

}  // namespace ferrolan::pack
