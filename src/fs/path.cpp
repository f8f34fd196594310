#include "fs/path.h"

#include <algorithm>
#include <mutex>

#include "fs/owned_file.h"
#include "fs/path_os.h"

namespace ferrolan::fs {
namespace {
char ForeignSeparator() { return PathSeparator() == '\\' ? '/' : '\\'; }

// The guarded folder is set once by the main thread before the extraction threads start, but
// tests set and lift it between runs, so it is read under a lock.
struct LinkGuard {
  std::mutex lock;
  std::string folder;
};

LinkGuard& Guard() {
  static LinkGuard guard;
  return guard;
}

std::string GuardedFolder() {
  LinkGuard& guard = Guard();
  std::lock_guard<std::mutex> hold(guard.lock);
  return guard.folder;
}

bool IsWriteMode(const char* mode) { return mode[0] == 'w' || mode[0] == 'a'; }
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

bool EntryExists(const std::string& path) { return !path.empty() && detail::EntryExists(path); }

bool IsLink(const std::string& path) { return !path.empty() && detail::IsLink(path); }

void GuardAgainstLinks(const std::string& folder) {
  std::string normalized = folder;
  NormalizeSeparators(normalized);
  while (normalized.size() > 1 && normalized.back() == PathSeparator()) normalized.pop_back();
  LinkGuard& guard = Guard();
  std::lock_guard<std::mutex> hold(guard.lock);
  guard.folder = normalized;
}

bool ReachedThroughLink(const std::string& path) {
  const std::string root = GuardedFolder();
  if (root.empty()) return false;
  std::string target = path;
  NormalizeSeparators(target);
  if (target.compare(0, root.size(), root) != 0) return false;
  if (target.size() > root.size() && target[root.size()] != PathSeparator()) return false;
  if (detail::IsLink(root)) return true;
  // Each component below the guarded folder is examined from the top down, the last included.
  for (std::size_t end = root.size(); end < target.size();) {
    std::size_t next = target.find(PathSeparator(), end + 1);
    if (next == std::string::npos) next = target.size();
    if (next > end + 1 && detail::IsLink(target.substr(0, next))) return true;
    end = next;
  }
  return false;
}

// True when `path` lies strictly below the guarded folder and only its last component may be a
// link: the guarded folder and every component above the last are not.
bool OnlyLastComponentMayBeLink(const std::string& path) {
  std::string normalized = path;
  NormalizeSeparators(normalized);
  const std::size_t last = normalized.find_last_of(PathSeparator());
  if (last == std::string::npos || last == 0) return false;
  const std::string parent = normalized.substr(0, last);
  const std::string root = GuardedFolder();
  if (root.empty() || parent.compare(0, root.size(), root) != 0) return false;
  if (parent.size() > root.size() && parent[root.size()] != PathSeparator()) return false;
  return !ReachedThroughLink(parent);
}

int CreateFolder(const std::string& path) {
  // Inside the guarded folder every name is ours: a link planted where a folder of ours belongs
  // ("logs", "FLApps", ...) is removed as itself, its target untouched, and the folder made.
  if (IsLink(path) && OnlyLastComponentMayBeLink(path)) detail::RemoveLink(path);
  if (IsLink(path) || ReachedThroughLink(path)) return -1;
  if (IsFolder(path)) return 0;
  return detail::MakeFolder(path) ? 0 : -1;
}

bool CreateFolderExclusively(const std::string& path) {
  // The system call fails on any existing name, a dangling link included, so the folder this
  // returns true for is a new one of ours.
  if (path.empty() || ReachedThroughLink(path)) return false;
  return detail::MakeFolder(path);
}

OwnedFile OpenFile(const std::string& path, const char* mode) {
  if (!IsWriteMode(mode)) return OwnedFile(std::fopen(path.c_str(), mode));
  if (ReachedThroughLink(path)) {
    detail::SetLinkRefused();
    return OwnedFile();
  }
  return OwnedFile(detail::OpenForWritingNoFollow(path, mode));
}

}  // namespace ferrolan::fs
