// What the packager needs to know about a jar: the names it holds (to check that a main class is
// there) and its manifest (for the default main class and the Class-Path). A jar is a zip file;
// only its central directory and the manifest's own entry are read, with every offset and length
// checked against the file's size before it is used, because vendors' jars are input we do not
// control. The manifest may be stored or deflated (zlib inflates it).
//
// Platforms: portable.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace ferrolan::pack {

/// The parts of a jar the packager looks at.
struct JarIndex {
  std::set<std::string> names;          // every entry name, as stored ("com/x/Main.class")
  std::optional<std::string> manifest;  // META-INF/MANIFEST.MF, when the jar has one
};

/// Reads `length` bytes at `offset` of the jar into `out`; false when they are not there.
using JarBytes = std::function<bool(std::uint64_t offset, std::size_t length, std::string* out)>;

/// Reads the central directory (zip64 included) and the manifest of a jar of `size` bytes
/// through `read`. None, with `error` set, when the jar is damaged or uses what a jar never
/// does (several disks, an encrypted or oddly compressed manifest). Works on bytes alone, so the
/// fuzzer drives it from memory.
std::optional<JarIndex> ReadJarIndex(const JarBytes& read, std::uint64_t size, std::string* error);

/// The same for a file on disk.
std::optional<JarIndex> ReadJarFile(const std::string& path, std::string* error);

/// A manifest's main attributes: continuation lines (a line that starts with one blank) joined,
/// names matched without regard to case, the first section only.
struct Manifest {
  std::string mainClass;               // "Main-Class", empty when absent
  std::vector<std::string> classPath;  // "Class-Path", split at blanks, "%20" and the like decoded
};
Manifest ParseManifest(std::string_view text);

/// "com/x/Main.class" for "com.x.Main"; empty when `className` is no binary class name (empty,
/// or with "/", a blank, an empty part, or a leading or trailing dot).
std::string ClassEntryName(std::string_view className);

}  // namespace ferrolan::pack
