#include "update/update_state.h"

#include <charconv>
#include <chrono>

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

// A number no other installation can predict or share by design: the wall clock and the
// monotonic clock in nanoseconds and an address of this run, mixed (splitmix64). It places the
// installation in a roll-out and protects nothing, so it needs no system randomness (whose
// library code would make the Windows launcher's image much larger).
std::uint64_t DrawnNumber() {
  std::uint64_t x =
      static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
  x ^= static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) << 1;
  int local = 0;
  x ^= reinterpret_cast<std::uintptr_t>(&local);
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
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
  const int number = static_cast<int>(DrawnNumber() % 100);
  fs::WriteFileAtomically(path, std::to_string(number));
  return number;
}

}  // namespace ferrolan::update
