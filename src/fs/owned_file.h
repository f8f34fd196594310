// The one owning type for C runtime files: a FILE* that is closed when its owner goes away.
// Files are C runtime streams on both platforms.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace ferrolan::fs {

struct FileCloser {
  void operator()(std::FILE* file) const {
    if (file != nullptr) std::fclose(file);
  }
};
using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;

/// Opens `path` with fopen's `mode` ("rb", "wb", ...); empty on failure (errno / last error is
/// left as the C runtime set it).
inline OwnedFile OpenFile(const std::string& path, const char* mode) {
  return OwnedFile(std::fopen(path.c_str(), mode));
}

}  // namespace ferrolan::fs
