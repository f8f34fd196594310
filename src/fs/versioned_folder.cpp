#include "fs/versioned_folder.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <limits>

#include "fs/file_ops.h"
#include "fs/path.h"
#include "log/log.h"

namespace ferrolan::fs {
namespace {

using log::LogPrintf;

// atoi's reading of a number: leading white space, an optional sign, then digits; anything else
// ends it. Saturates instead of overflowing.
std::int64_t AtoiLike(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    int digit = text[i] - '0';
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return negative ? -value : value;
}

// How many names TempFolderName and CreateTempFolder try before they give up: far more than
// honest runs ever leave behind in one second.
constexpr long kTempNameTries = 1000;
// A name can be taken between naming and creating only by a concurrent writer; a few retries
// outlast an honest one.
constexpr int kCreateAttempts = 10;

std::string TempName(const std::string& masterFolder, long seconds, long entries) {
  char leaf[96];
  std::snprintf(leaf, sizeof leaf, "FerrolanTemp-%ld-%ld-app", seconds, entries);
  std::string path = masterFolder;
  PathJoin(path, leaf);
  return path;
}

}  // namespace

std::string VersionedFolderName(const std::string& masterFolder, std::string_view name,
                                std::string_view version) {
  std::string path = masterFolder;
  std::string leaf = "Ferrolan-";
  leaf.append(name).append("-").append(version).append("-complete");
  PathJoin(path, leaf);
  return path;
}

std::string TempFolderName(const std::string& masterFolder) {
  long entries = 0;
  if (std::optional<FolderListing> listing = OpenFolderListing(masterFolder)) {
    while (NextFolderEntry(*listing)) ++entries;
  }
  const long seconds = static_cast<std::int32_t>(std::time(nullptr));
  // Whoever can write to the master folder can plant a link at the name the launcher is
  // about to use; a taken name is passed over rather than reused.
  for (long count = entries;; ++count) {
    std::string path = TempName(masterFolder, seconds, count);
    if (!EntryExists(path) || count - entries >= kTempNameTries) return path;
    LogPrintf("[Extractor] Temporary name %s is taken; trying the next\n", path.c_str());
  }
}

std::optional<std::string> CreateTempFolder(const std::string& masterFolder) {
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    std::string path = TempFolderName(masterFolder);
    if (CreateFolderExclusively(path)) return path;
    // Taken between naming and creating, or nothing can be created here at all.
    if (!EntryExists(path)) break;
  }
  LogPrintf("[Extractor] Unable to create a temporary folder in %s\n", masterFolder.c_str());
  return std::nullopt;
}

namespace {

// The dashes around a name's version: the last "-" ends it and the one before starts it, so a
// component name may hold dashes of its own ("Ferrolan-My-App-00000000001-complete"). False
// for names with fewer than three "-".
bool VersionDashes(std::string_view name, std::size_t* first, std::size_t* before,
                   std::size_t* after) {
  *first = name.find('-');
  *after = name.rfind('-');
  if (*first == std::string_view::npos || *after == *first) return false;
  *before = name.rfind('-', *after - 1);
  return *before != *first;
}

}  // namespace

std::int64_t FolderVersion(std::string_view name) {
  std::size_t first = 0;
  std::size_t before = 0;
  std::size_t after = 0;
  if (!VersionDashes(name, &first, &before, &after)) return -1;
  return AtoiLike(name.substr(before + 1, after - before - 1));
}

std::optional<std::string> PickFolder(const std::string& masterFolder, std::string_view component) {
  if (ReachedThroughLink(masterFolder)) {
    log::LogPrintf("[PickFolder] %s is reached through a link; nothing in it is installed\n",
                   masterFolder.c_str());
    return std::nullopt;
  }
  std::optional<FolderListing> listing = OpenFolderListing(masterFolder);
  if (!listing) return std::nullopt;
  std::int64_t best = -1;
  std::optional<std::string> result;
  while (std::optional<std::string> entry = NextFolderEntry(*listing)) {
    const std::string& name = *entry;
    if (name.size() <= 2) continue;
    std::size_t first = 0;
    std::size_t before = 0;
    std::size_t after = 0;
    if (!VersionDashes(name, &first, &before, &after)) continue;
    if (std::string_view(name).substr(first + 1, before - first - 1) != component) continue;
    const std::string componentText(component);
    std::string path = masterFolder;
    PathJoin(path, name);
    if (IsLink(path)) {
      // Someone else's link in our place: what it points to was never installed by us.
      log::LogPrintf("[PickFolder] Folder %s matches %s but is a link; skipping it\n", name.c_str(),
                     componentText.c_str());
      continue;
    }
    std::int64_t version = FolderVersion(name);
    log::LogPrintf("[PickFolder] Folder %s matches %s with version %lld\n", name.c_str(),
                   componentText.c_str(), static_cast<long long>(version));
    if (version > best) {
      result = name;
      log::LogPrintf("[PickFolder] Set latest to %lld %s\n", static_cast<long long>(version),
                     name.c_str());
      best = version;
    }
  }
  if (best == -1) return std::nullopt;
  return result;
}

}  // namespace ferrolan::fs
