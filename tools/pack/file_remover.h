// Removes a file, or a folder with everything in it, when it goes out of scope unless released,
// so temporary and partial outputs never outlive a failed run.
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

// A work or partial folder: removed with everything in it.
class FolderRemover {
 public:
  explicit FolderRemover(std::string path) : path_(std::move(path)) {}
  ~FolderRemover() {
    if (!path_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(path_, ignored);
    }
  }
  FolderRemover(const FolderRemover&) = delete;
  FolderRemover& operator=(const FolderRemover&) = delete;
  const std::string& path() const { return path_; }
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

}  // namespace ferrolan::pack
