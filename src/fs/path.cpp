#include "fs/path.h"

#include <algorithm>

#include "fs/path_os.h"

namespace ferrolan::fs {
namespace {
char ForeignSeparator() { return PathSeparator() == '\\' ? '/' : '\\'; }
}  // namespace

char PathSeparator() { return detail::PathSeparator(); }

void NormalizeSeparators(std::string& path) {
  std::replace(path.begin(), path.end(), ForeignSeparator(), PathSeparator());
}

void PathJoin(std::string& base, std::string_view name) {
  NormalizeSeparators(base);
  std::string tail(name);
  NormalizeSeparators(tail);
  if (base.empty() || base.back() != PathSeparator()) base.push_back(PathSeparator());
  base += tail;
}

void PathJoin4(std::string& out, std::string_view a, std::string_view b, std::string_view c,
               std::string_view d) {
  out.assign(a);
  PathJoin(out, b);
  PathJoin(out, c);
  PathJoin(out, d);
}

bool IsPlainFolderName(std::string_view name) {
  if (name.find_first_of("/\\:") != std::string_view::npos) return false;
  return name.empty() || name.find_first_not_of('.') != std::string_view::npos;
}

std::string MasterFolderPath(const std::string& sharedDir, std::string_view appName) {
  std::string master = sharedDir;
  PathJoin(master, std::string("Ferrolan-").append(appName));
  return master;
}

bool IsFolder(const std::string& path) { return detail::IsFolder(path); }

int CreateFolder(const std::string& path) {
  if (IsFolder(path)) return 0;
  return detail::MakeFolder(path) ? 0 : -1;
}

}  // namespace ferrolan::fs
