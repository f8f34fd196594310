// A small, strict JSON reader for the packager's build configuration. It accepts exactly the
// JSON grammar (objects, arrays, strings with escapes, numbers, true, false, null) and nothing
// more: no comments, no trailing commas, no duplicate object keys. A vendor's typo should stop
// the build with the line and column of the problem instead of producing a launcher that
// quietly lacks a setting.
//
// Platforms: portable. Text is taken as UTF-8; "\u" escapes are written out as UTF-8.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ferrolan::pack {

class JsonValue {
 public:
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  using Member = std::pair<std::string, JsonValue>;

  JsonValue() = default;
  static JsonValue Null() { return JsonValue(); }
  static JsonValue Bool(bool value);
  static JsonValue Number(std::string text);  // kept as written, e.g. "700" or "1.5e3"
  static JsonValue String(std::string text);
  static JsonValue Array(std::vector<JsonValue> items);
  static JsonValue Object(std::vector<Member> members);  // in document order

  Kind kind() const { return kind_; }
  bool IsString() const { return kind_ == Kind::kString; }
  bool IsObject() const { return kind_ == Kind::kObject; }
  bool boolValue() const { return bool_; }
  /// The text of a string, or the number exactly as written.
  const std::string& text() const { return text_; }
  const std::vector<JsonValue>& items() const { return items_; }
  const std::vector<Member>& members() const { return members_; }
  /// The member called `name` of an object, or null when absent (or not an object).
  const JsonValue* Find(std::string_view name) const;

 private:
  Kind kind_ = Kind::kNull;
  bool bool_ = false;
  std::string text_;
  std::vector<JsonValue> items_;
  std::vector<Member> members_;
};

/// The name of a kind for messages: "null", "a boolean", "a number", "a string", ...
const char* JsonKindName(JsonValue::Kind kind);

/// Parses a whole document. On failure returns none and sets `error` to
/// "line L, column C: what was wrong".
std::optional<JsonValue> ParseJson(std::string_view text, std::string* error);

}  // namespace ferrolan::pack
