#include "tail/properties_block.h"

namespace ferrolan::tail {

LaunchPropertiesBlock::LaunchPropertiesBlock() { content_.reserve(kInitialCapacity); }

void LaunchPropertiesBlock::AppendEntry(std::string_view text) {
  if (text.empty()) {
    content_.push_back(EmptyValueMarker);
  } else {
    content_.append(text);
  }
  content_.push_back('\0');
}

void LaunchPropertiesBlock::AppendToLastEntry(std::string_view text) {
  if (text.empty()) return;
  if (!content_.empty()) content_.pop_back();  // the last string's NUL
  content_.append(text);
  content_.push_back('\0');
}

std::string LaunchPropertiesBlock::Bytes() const {
  if (content_.empty()) return std::string(2, '\0');
  std::string bytes = content_;
  bytes.push_back('\0');
  return bytes;
}

std::vector<std::string> LaunchPropertiesBlock::Entries() const {
  std::vector<std::string> entries;
  std::size_t from = 0;
  while (from < content_.size()) {
    std::size_t nul = content_.find('\0', from);
    entries.emplace_back(content_, from, nul - from);
    from = nul + 1;
  }
  return entries;
}

void AddStaticProperty(LaunchPropertiesBlock& list, std::string_view name, std::string_view value) {
  list.AppendEntry(kStaticPrefix);
  list.AppendToLastEntry(name);
  list.AppendEntry(value);
}

void AddDynamicProperty(LaunchPropertiesBlock& list, std::string_view name,
                        std::string_view value) {
  list.AppendEntry(kDynamicPrefix);
  list.AppendToLastEntry(name);
  list.AppendEntry(value);
}

}  // namespace ferrolan::tail
