#include "pack/release/update_folder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>
#include <vector>

#include "archive/sha256.h"
#include "pack/support/file_remover.h"
#include "tail/payload_layout.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;

constexpr std::string_view kTemporarySuffix = ".partial";

// The server's file names are fixed text around the component's name (and an archive's
// version). The text is taken from the functions that make the names, so it is written down
// once, in tail/payload_layout.h: marker characters that no name contains show where the
// component and the version go.
struct NameShape {
  std::string before;  // the text before the component
  std::string middle;  // between the component and the version (archives only)
  std::string after;   // after the version (archives) or the component (version files)
};

NameShape ShapeOf(const std::string& sample) {
  const std::size_t component = sample.find('\x01');
  const std::size_t version = sample.find('\x02');
  if (version == std::string::npos) {
    return {sample.substr(0, component), {}, sample.substr(component + 1)};
  }
  return {sample.substr(0, component), sample.substr(component + 1, version - component - 1),
          sample.substr(version + 1)};
}

const NameShape& ArchiveShape() {
  static const NameShape shape = ShapeOf(tail::ArchiveName("\x01", "\x02"));
  return shape;
}

const NameShape& VersionFileShape() {
  static const NameShape shape = ShapeOf(tail::VersionFileName("\x01"));
  return shape;
}

// The text between the shape's fixed start and end; none when `name` lacks either.
std::optional<std::string_view> Inner(std::string_view name, const NameShape& shape) {
  if (name.size() <= shape.before.size() + shape.after.size() || !name.starts_with(shape.before) ||
      !name.ends_with(shape.after)) {
    return std::nullopt;
  }
  return name.substr(shape.before.size(), name.size() - shape.before.size() - shape.after.size());
}

bool IsVersionFileName(std::string_view name) {
  return Inner(name, VersionFileShape()).has_value();
}

bool IsServerFileName(std::string_view name) {
  return name == archive::kUpdateMetadataFileName || IsVersionFileName(name) ||
         ParseArchiveName(name).has_value();
}

// A server file's name followed by the temporary suffix and whatever the archive writer adds
// to the name it is given (its entry stream and its compressed partial file).
bool IsLeftoverName(std::string_view name) {
  for (std::size_t at = name.find(kTemporarySuffix); at != std::string_view::npos;
       at = name.find(kTemporarySuffix, at + 1)) {
    if (IsServerFileName(name.substr(0, at))) return true;
  }
  return false;
}

std::optional<std::string> ReadAtMost(const std::string& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes(limit, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(limit));
  if (in.bad()) return std::nullopt;
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

}  // namespace

std::string TemporaryName(const std::string& name) { return name + std::string(kTemporarySuffix); }

std::optional<ArchiveNameParts> ParseArchiveName(std::string_view name) {
  const NameShape& shape = ArchiveShape();
  const std::optional<std::string_view> inner = Inner(name, shape);
  if (!inner) return std::nullopt;
  // A component name may hold the separator itself ("My-App"); the version never does.
  const std::size_t split = inner->rfind(shape.middle);
  if (split == std::string_view::npos || split == 0) return std::nullopt;
  const std::string_view version = inner->substr(split + shape.middle.size());
  if (!archive::IsVersionText(version)) return std::nullopt;
  return ArchiveNameParts{std::string(inner->substr(0, split)), std::string(version)};
}

std::optional<UpdateFolderListing> ListUpdateFolder(const std::string& folder, std::string* error) {
  UpdateFolderListing listing;
  std::error_code fsError;
  for (stdfs::directory_iterator it(folder, fsError), end; !fsError && it != end;
       it.increment(fsError)) {
    const std::string name = it->path().filename().string();
    std::error_code statusError;
    // A link is nothing publish wrote, and nothing it writes or removes through.
    if (it->symlink_status(statusError).type() != stdfs::file_type::regular || statusError) {
      listing.foreign.push_back(name);
    } else if (name == archive::kUpdateMetadataFileName) {
      listing.hasMetadata = true;
    } else if (IsVersionFileName(name)) {
      listing.versionFiles.push_back(name);
    } else if (ParseArchiveName(name)) {
      listing.archives.push_back(name);
    } else if (IsLeftoverName(name)) {
      listing.leftovers.push_back(name);
    } else {
      listing.foreign.push_back(name);
    }
  }
  if (fsError) {
    *error = "cannot list " + folder + ": " + fsError.message();
    return std::nullopt;
  }
  for (std::vector<std::string>* names :
       {&listing.versionFiles, &listing.archives, &listing.leftovers, &listing.foreign}) {
    std::sort(names->begin(), names->end());
  }
  return listing;
}

std::optional<FileDigest> DigestFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  archive::Sha256 hash;
  FileDigest digest;
  std::vector<char> buffer(1 << 20);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto read = static_cast<std::size_t>(in.gcount());
    hash.Add(buffer.data(), read);
    digest.length += read;
  }
  if (in.bad()) return std::nullopt;
  digest.sha256 = hash.HexDigest();
  return digest;
}

bool ReplaceFileWith(const std::string& path,
                     const std::function<bool(const std::string& temporary)>& write,
                     std::string* error) {
  FileRemover temporary(TemporaryName(path));
  if (!write(temporary.path())) return false;
  std::error_code fsError;
  stdfs::rename(temporary.path(), path, fsError);
  if (fsError) {
    *error = "cannot rename " + temporary.path() + " to " + path + ": " + fsError.message();
    return false;
  }
  temporary.Release();
  return true;
}

bool ReplaceFile(const std::string& path, std::string_view bytes, std::string* error) {
  return ReplaceFileWith(
      path,
      [&](const std::string& temporary) {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) *error = "cannot write " + temporary;
        return static_cast<bool>(out);
      },
      error);
}

std::optional<archive::MetadataReading> ReadFolderMetadata(const std::string& folder,
                                                           const archive::PublicKey* key) {
  const std::string path = (stdfs::path(folder) / archive::kUpdateMetadataFileName).string();
  std::error_code ignored;
  if (!stdfs::exists(path, ignored)) return std::nullopt;
  archive::MetadataReading reading;
  // One byte more than a reader accepts, so that a longer file is refused as too long.
  const std::optional<std::string> bytes =
      ReadAtMost(path, static_cast<std::size_t>(archive::kMaxUpdateMetadataBytes) + 1);
  if (!bytes) {
    reading.problem = "cannot read " + path;
    return reading;
  }
  return archive::ReadUpdateMetadata(*bytes, key);
}

std::string MetadataProblem(const std::optional<archive::MetadataReading>& reading) {
  if (!reading) return "is missing";
  switch (reading->status) {
    case archive::MetadataStatus::kOk:
      return "is in order";
    case archive::MetadataStatus::kBadSignature:
      return "is not signed with the configured key";
    case archive::MetadataStatus::kNoSignature:
      return "is not signed";
    case archive::MetadataStatus::kTooLong:
    case archive::MetadataStatus::kMalformed:
      break;
  }
  return "cannot be read (" + reading->problem + ")";
}

std::optional<std::string> ReadVersionFile(const std::string& path, bool* malformed) {
  *malformed = false;
  std::error_code ignored;
  if (!stdfs::exists(path, ignored)) return std::nullopt;
  // The launcher reads at most 50 characters; a longer version is none it would accept.
  std::optional<std::string> text = ReadAtMost(path, 64);
  if (!text) {
    *malformed = true;
    return std::string();
  }
  text->resize(std::min(text->size(), text->find_first_of("\r\n \t")));
  *malformed = !archive::IsVersionText(*text);
  return text;
}

std::vector<std::string> PruneArchives(const std::string& folder,
                                       const archive::UpdateMetadata& metadata,
                                       std::string* error) {
  std::vector<std::string> removed;
  std::string listError;
  const std::optional<UpdateFolderListing> listing = ListUpdateFolder(folder, &listError);
  if (!listing) {
    *error = listError;
    return removed;
  }
  for (const std::string& name : listing->archives) {
    const std::optional<ArchiveNameParts> parts = ParseArchiveName(name);
    const auto named = std::find_if(metadata.components.begin(), metadata.components.end(),
                                    [&parts](const archive::UpdateComponent& component) {
                                      return component.name == parts->component;
                                    });
    if (named == metadata.components.end() || named->archive == name) continue;
    std::error_code fsError;
    stdfs::remove(stdfs::path(folder) / name, fsError);
    if (fsError) {
      if (error->empty()) *error = "cannot remove " + name + ": " + fsError.message();
      continue;
    }
    removed.push_back(name);
  }
  return removed;
}

}  // namespace ferrolan::pack
