// LaunchPropertiesBlock: the key and value strings handed to the Java side. Each string is
// NUL-terminated, keys and values alternate, and the used part ends with two NUL bytes (an empty
// block is just those two). Keys carry the prefix "flstat_" (static, from the wrapper tail) or
// "fldyna_" (dynamic, from the Params section); an empty value is stored as the one byte
// EmptyValueMarker so that no empty string stands before the end.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ferrolan::tail {

inline constexpr char EmptyValueMarker = '\x04';
inline constexpr const char* kStaticPrefix = "flstat_";
inline constexpr const char* kDynamicPrefix = "fldyna_";

/// The block grows as needed. (A fixed 200,000-byte area would be overrun by a large splash
/// image plus the other properties; growing keeps every property and never writes past an end.)
class LaunchPropertiesBlock {
 public:
  /// The usual size of a block; reserved up front so appends rarely reallocate.
  static constexpr std::size_t kInitialCapacity = 200000;

  LaunchPropertiesBlock();

  /// Starts a new string at the end: `text`, or the EmptyValueMarker when `text` is empty.
  void AppendEntry(std::string_view text);

  /// Extends the last string with `text` (on an empty block this starts the first string).
  /// An empty text changes nothing.
  void AppendToLastEntry(std::string_view text);

  /// The used part, double NUL included: what the launch-properties file receives.
  std::string Bytes() const;

  /// The strings in order (keys and values alternating), without their NULs.
  std::vector<std::string> Entries() const;

  bool Empty() const { return content_.empty(); }

 private:
  // Every string followed by its NUL; the block's final extra NUL is added by Bytes().
  std::string content_;
};

/// AppendEntry "flstat_", AppendToLastEntry `name`, AppendEntry `value`.
void AddStaticProperty(LaunchPropertiesBlock& list, std::string_view name, std::string_view value);

/// The same with the prefix "fldyna_".
void AddDynamicProperty(LaunchPropertiesBlock& list, std::string_view name, std::string_view value);

}  // namespace ferrolan::tail
