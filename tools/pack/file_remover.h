// Removes a file when it goes out of scope unless released, so temporary and partial outputs
// never outlive a failed run.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

namespace ferrolan::pack {

class FileRemover {
 public:
  explicit FileRemover(std::string path) : path_(std::move(path)) {}
  ~FileRemover() {
    if (!path_.empty()) {
      std::error_code ignored;
      std::filesystem::remove(path_, ignored);
    }
  }
  FileRemover(const FileRemover&) = delete;
  FileRemover& operator=(const FileRemover&) = delete;
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

}  // namespace ferrolan::pack
