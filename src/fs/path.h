// Paths: 8-bit strings in the system code page. Windows joins with a backslash and turns every
// "/" into "\"; POSIX joins with "/" and turns every "\" into "/", so payload paths written with
// either separator land in the right place on both.
#pragma once

#include <string>
#include <string_view>

namespace ferrolan::fs {

/// The separator this build writes: '\\' on Windows, '/' on POSIX.
char PathSeparator();

/// Turns foreign separators into this build's separator, in place.
void NormalizeSeparators(std::string& path);

/// Normalises the separators of base and name, appends a separator to base unless it already
/// ends in one, then appends name. base is expected to be non-empty.
void PathJoin(std::string& base, std::string_view name);

/// out = a joined with b, c and d.
void PathJoin4(std::string& out, std::string_view a, std::string_view b, std::string_view c,
               std::string_view d);

/// True when `name` can stand as one component of a folder name without leaving its parent:
/// no separator of either kind, no drive colon, and not made of dots alone. Names that come
/// from outside (the Params section, override files) are checked with this before they become
/// part of a path.
bool IsPlainFolderName(std::string_view name);

/// The master folder of an application: sharedDir joined with "Ferrolan-" + appName.
std::string MasterFolderPath(const std::string& sharedDir, std::string_view appName);

/// True when the path names an existing folder (it can be listed).
bool IsFolder(const std::string& path);

/// True when anything at all is at the path: a folder, a file or a link (a dangling one
/// included). Links are not followed.
bool EntryExists(const std::string& path);

/// True when the path itself is a symbolic link, a junction or another reparse point, whatever
/// it points to (a dangling link included). The link is examined, never followed: lstat on
/// POSIX, FILE_ATTRIBUTE_REPARSE_POINT on Windows.
bool IsLink(const std::string& path);

/// Names the folder under which nothing may be reached through a link: the master folder, which
/// ordinary users may be able to write to while the launcher runs elevated. From then on every
/// folder creation, file creation, rename, copy and delete at or below it refuses a path on
/// which the folder itself or any component below it is a link. An empty path lifts the guard.
void GuardAgainstLinks(const std::string& folder);

/// True when `path` is the guarded folder or lies below it and the guarded folder or one of the
/// path's components below it is a link. Paths outside the guarded folder give false.
bool ReachedThroughLink(const std::string& path);

/// 0 if the folder exists or was created, else -1. Only the last component is created. A link
/// at the path (even one to a folder), or a path reached through a link under the guarded
/// folder, gives -1: a folder the launcher fills must be its own. Below the guarded folder,
/// where every name is the launcher's, a link at the last component is removed (as itself,
/// never its target) and the folder created in its place.
int CreateFolder(const std::string& path);

/// Creates the last component of a folder path only when nothing of that name exists yet (no
/// folder, file or link): true when this call created it.
bool CreateFolderExclusively(const std::string& path);

}  // namespace ferrolan::fs
