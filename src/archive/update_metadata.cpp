#include "archive/update_metadata.h"

#include <charconv>
#include <cstring>

#include "archive/mixed_hash.h"
#include "archive/signature.h"

namespace ferrolan::archive {
namespace {

constexpr std::string_view kSignatureKey = kUpdateMetadataSignatureKey;
constexpr UpdateComponentKind kKinds[] = {UpdateComponentKind::kUpdater, UpdateComponentKind::kJre,
                                          UpdateComponentKind::kApp};

// A value the line form can carry and the launcher can use as a file-name part: not empty,
// no line break, no NUL, no separator of either kind, not made of dots alone.
bool IsNamePart(std::string_view text) {
  if (text.empty() || text.size() > 255) return false;
  if (text.find_first_not_of('.') == std::string_view::npos) return false;
  for (char c : text) {
    if (c == '\n' || c == '\r' || c == '\0' || c == '/' || c == '\\' || c == ':') return false;
  }
  return true;
}

bool IsSha256Text(std::string_view text) {
  if (text.size() != 64) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::optional<std::uint64_t> ParseUnsigned(std::string_view text) {
  if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

void AddLine(std::string& out, std::string_view key, std::string_view value) {
  out.append(key);
  out.push_back('=');
  out.append(value);
  out.push_back('\n');
}

// Reads the signed text line by line, in the writer's order.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : rest_(text) {}

  // The value of the next line if it is "key=value"; none otherwise.
  std::optional<std::string_view> Take(std::string_view key) {
    const std::size_t end = rest_.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = rest_.substr(0, end);
    if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != '=')
      return std::nullopt;
    rest_.remove_prefix(end + 1);
    return line.substr(key.size() + 1);
  }

  // True when the next line is exactly `text`.
  bool TakeExactly(std::string_view text) {
    const std::size_t end = rest_.find('\n');
    if (end == std::string_view::npos || rest_.substr(0, end) != text) return false;
    rest_.remove_prefix(end + 1);
    return true;
  }

  // True when the next line starts with `prefix` + "." (the next component's first field).
  bool NextStartsWith(std::string_view prefix) const {
    return rest_.size() > prefix.size() && rest_.substr(0, prefix.size()) == prefix &&
           rest_[prefix.size()] == '.';
  }

  bool AtEnd() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

std::string FieldKey(UpdateComponentKind kind, const char* field) {
  return std::string(UpdateComponentKey(kind)) + "." + field;
}

MetadataReading Malformed(std::string problem) {
  MetadataReading reading;
  reading.status = MetadataStatus::kMalformed;
  reading.problem = std::move(problem);
  return reading;
}

bool ReadComponent(LineReader& lines, UpdateComponentKind kind, UpdateComponent& out,
                   std::string& problem) {
  out.kind = kind;
  const auto name = lines.Take(FieldKey(kind, "name"));
  const auto version = lines.Take(FieldKey(kind, "version"));
  const auto archiveName = version ? lines.Take(FieldKey(kind, "archive")) : std::nullopt;
  const auto length = archiveName ? lines.Take(FieldKey(kind, "length")) : std::nullopt;
  const auto sha = length ? lines.Take(FieldKey(kind, "sha256")) : std::nullopt;
  if (!name || !version || !archiveName || !length || !sha) {
    problem =
        std::string("the fields of component ") + UpdateComponentKey(kind) + " are incomplete";
    return false;
  }
  const std::optional<std::uint64_t> bytes = ParseUnsigned(*length);
  if (!IsNamePart(*name) || !IsVersionText(*version) || !IsNamePart(*archiveName) || !bytes ||
      !IsSha256Text(*sha)) {
    problem = std::string("a field of component ") + UpdateComponentKey(kind) + " is invalid";
    return false;
  }
  out.name = std::string(*name);
  out.version = std::string(*version);
  out.archive = std::string(*archiveName);
  out.length = *bytes;
  out.sha256 = std::string(*sha);
  return true;
}

MetadataReading ParseSigned(std::string_view text) {
  LineReader lines(text);
  MetadataReading reading;
  UpdateMetadata& m = reading.metadata;
  if (!lines.TakeExactly(kUpdateMetadataHeader)) return Malformed("unknown format");
  const auto app = lines.Take("app");
  const auto metadataVersion = lines.Take("metadata_version");
  const auto expires = lines.Take("expires");
  const auto critical = lines.Take("critical");
  const auto minimum = lines.Take("minimum_version");
  const auto rollout = lines.Take("rollout");
  if (!app || !metadataVersion || !expires || !critical || !minimum || !rollout)
    return Malformed("the general fields are incomplete");
  const auto metadataNumber = ParseUnsigned(*metadataVersion);
  const auto expiry = ParseUnsigned(*expires);
  const auto share = ParseUnsigned(*rollout);
  if (!IsNamePart(*app) || !metadataNumber || !expiry || (*critical != "0" && *critical != "1") ||
      (!minimum->empty() && !IsVersionText(*minimum)) || !share || *share > 100) {
    return Malformed("a general field is invalid");
  }
  m.appName = std::string(*app);
  m.metadataVersion = *metadataNumber;
  m.expires = *expiry;
  m.critical = *critical == "1";
  m.minimumVersion = std::string(*minimum);
  m.rollout = static_cast<int>(*share);
  for (UpdateComponentKind kind : kKinds) {
    if (!lines.NextStartsWith(UpdateComponentKey(kind))) continue;
    UpdateComponent component;
    std::string problem;
    if (!ReadComponent(lines, kind, component, problem)) return Malformed(problem);
    m.components.push_back(std::move(component));
  }
  if (!lines.AtEnd()) return Malformed("unexpected lines after the components");
  reading.status = MetadataStatus::kOk;
  return reading;
}

MetadataReading NoSignature() {
  MetadataReading reading;
  reading.status = MetadataStatus::kNoSignature;
  reading.problem = "it carries no signature";
  return reading;
}

}  // namespace

const char* UpdateComponentKey(UpdateComponentKind kind) {
  switch (kind) {
    case UpdateComponentKind::kUpdater:
      return "updater";
    case UpdateComponentKind::kJre:
      return "jre";
    case UpdateComponentKind::kApp:
      break;
  }
  return "app";
}

const UpdateComponent* UpdateMetadata::Find(UpdateComponentKind kind) const {
  for (const UpdateComponent& component : components) {
    if (component.kind == kind) return &component;
  }
  return nullptr;
}

bool IsVersionText(std::string_view text) {
  if (text.empty() || text.size() > 19) return false;
  return text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::uint64_t VersionValue(std::string_view text) {
  if (!IsVersionText(text)) return 0;
  std::uint64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

std::string EncodeUpdateMetadata(const UpdateMetadata& metadata) {
  if (!IsNamePart(metadata.appName) || metadata.rollout < 0 || metadata.rollout > 100 ||
      (!metadata.minimumVersion.empty() && !IsVersionText(metadata.minimumVersion))) {
    return {};
  }
  std::string out(kUpdateMetadataHeader);
  out.push_back('\n');
  AddLine(out, "app", metadata.appName);
  AddLine(out, "metadata_version", std::to_string(metadata.metadataVersion));
  AddLine(out, "expires", std::to_string(metadata.expires));
  AddLine(out, "critical", metadata.critical ? "1" : "0");
  AddLine(out, "minimum_version", metadata.minimumVersion);
  AddLine(out, "rollout", std::to_string(metadata.rollout));
  std::size_t written = 0;
  for (UpdateComponentKind kind : kKinds) {
    const UpdateComponent* component = metadata.Find(kind);
    if (!component) continue;
    if (!IsNamePart(component->name) || !IsVersionText(component->version) ||
        !IsNamePart(component->archive) || !IsSha256Text(component->sha256)) {
      return {};
    }
    AddLine(out, FieldKey(kind, "name"), component->name);
    AddLine(out, FieldKey(kind, "version"), component->version);
    AddLine(out, FieldKey(kind, "archive"), component->archive);
    AddLine(out, FieldKey(kind, "length"), std::to_string(component->length));
    AddLine(out, FieldKey(kind, "sha256"), component->sha256);
    ++written;
  }
  if (written != metadata.components.size()) return {};  // a kind twice
  return out;
}

MetadataReading ReadUpdateMetadata(std::string_view file, const PublicKey* key) {
  MetadataReading reading;
  if (file.size() > kMaxUpdateMetadataBytes) {
    reading.status = MetadataStatus::kTooLong;
    reading.problem = "longer than " + std::to_string(kMaxUpdateMetadataBytes) + " bytes";
    return reading;
  }
  // The signature line is the last one; everything before it is what was signed.
  if (file.empty() || file.back() != '\n') return NoSignature();
  const std::string_view lines = file.substr(0, file.size() - 1);
  const std::size_t lastBreak = lines.rfind('\n');
  const std::size_t lineStart = lastBreak == std::string_view::npos ? 0 : lastBreak + 1;
  const std::string_view last = lines.substr(lineStart);
  if (last.size() <= kSignatureKey.size() || last.substr(0, kSignatureKey.size()) != kSignatureKey)
    return NoSignature();
  const std::string_view signedText = file.substr(0, lineStart);
  const std::string_view signatureHex = last.substr(kSignatureKey.size());
  MixedHashState hash;
  MixedHash_init(&hash);
  MixedHash_process(&hash, reinterpret_cast<const unsigned char*>(signedText.data()),
                    static_cast<unsigned long>(signedText.size()));
  if (signatureHex.find_first_not_of("0123456789ABCDEFabcdef") != std::string_view::npos ||
      !CheckSignature(hash, signatureHex, key)) {
    reading.status = MetadataStatus::kBadSignature;
    reading.problem = key ? "its signature does not verify with this launcher's key"
                          : "this launcher has no key to verify it with";
    return reading;
  }
  return ParseSigned(signedText);
}

}  // namespace ferrolan::archive
