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
/// left as the C runtime set it). A file opened for writing ("w" or "a" modes) is never
/// reached through a link: a link at the path, a path through a link under the folder named
/// by GuardAgainstLinks (fs/path.h), or a file with a second hard link is refused, so nothing
/// the launcher writes can land outside the folder it means. Reading follows links as usual.
OwnedFile OpenFile(const std::string& path, const char* mode);

}  // namespace ferrolan::fs
