#include "update/update_state.h"

#include <charconv>
#include <random>

#include "archive/signature.h"
#include "fs/file_ops.h"
#include "fs/path.h"
#include "log/log.h"

namespace ferrolan::update {
namespace {

std::string PathIn(const std::string& folder, const char* name) {
  std::string path = folder;
  fs::PathJoin(path, name);
  return path;
}

}  // namespace

std::optional<archive::UpdateMetadata> AcceptedMetadata(const std::string& sharedConfigFolder,
                                                        const archive::PublicKey* key) {
  const std::optional<std::string> file = fs::ReadSmallFile(
      PathIn(sharedConfigFolder, kAcceptedMetadataFileName), archive::kMaxUpdateMetadataBytes);
  if (!file) return std::nullopt;
  archive::MetadataReading reading = archive::ReadUpdateMetadata(*file, key);
  if (reading.status != archive::MetadataStatus::kOk) {
    log::LogPrintf("[Update] The kept update metadata is unusable: %s\n", reading.problem.c_str());
    return std::nullopt;
  }
  return std::move(reading.metadata);
}

bool AcceptMetadata(const std::string& sharedConfigFolder, const std::string& file) {
  return fs::WriteFileAtomically(PathIn(sharedConfigFolder, kAcceptedMetadataFileName), file);
}

int RolloutNumber(const std::string& sharedConfigFolder) {
  const std::string path = PathIn(sharedConfigFolder, kRolloutNumberFileName);
  if (const std::optional<std::string> kept = fs::ReadSmallFile(path, 8)) {
    int number = -1;
    const auto [end, error] = std::from_chars(kept->data(), kept->data() + kept->size(), number);
    if (error == std::errc() && end == kept->data() + kept->size() && number >= 0 && number < 100)
      return number;
  }
  std::random_device source;
  const int number = static_cast<int>(source() % 100);
  fs::WriteFileAtomically(path, std::to_string(number));
  return number;
}

}  // namespace ferrolan::update
