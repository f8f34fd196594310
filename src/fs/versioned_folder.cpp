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
  long seconds = static_cast<std::int32_t>(std::time(nullptr));
  char leaf[96];
  std::snprintf(leaf, sizeof leaf, "FerrolanTemp-%ld-%ld-app", seconds, entries);
  std::string path = masterFolder;
  PathJoin(path, leaf);
  return path;
}

std::int64_t FolderVersion(std::string_view name) {
  std::size_t first = name.find('-');
  if (first == std::string_view::npos) return -1;
  std::size_t second = name.find('-', first + 1);
  if (second == std::string_view::npos) return -1;
  std::size_t third = name.find('-', second + 1);
  if (third == std::string_view::npos) return -1;
  return AtoiLike(name.substr(second + 1, third - second - 1));
}

std::optional<std::string> PickFolder(const std::string& masterFolder, std::string_view component) {
  std::optional<FolderListing> listing = OpenFolderListing(masterFolder);
  if (!listing) return std::nullopt;
  std::int64_t best = -1;
  std::optional<std::string> result;
  while (std::optional<std::string> entry = NextFolderEntry(*listing)) {
    const std::string& name = *entry;
    if (name.size() <= 2) continue;
    std::size_t first = name.find('-');
    if (first == std::string::npos) continue;
    std::size_t second = name.find('-', first + 1);
    if (second == std::string::npos) continue;
    if (std::string_view(name).substr(first + 1, second - first - 1) != component) continue;
    std::int64_t version = FolderVersion(name);
    const std::string componentText(component);
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
