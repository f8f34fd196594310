#include "archive/entry_format.h"

#include <cctype>
#include <cstdlib>
#include <limits>
#include <string>

#include "archive/entry_format_os.h"

namespace ferrolan::archive {

long ParseEntryType(std::string_view text) {
  // atoi semantics without its overflow: leading blanks, an optional sign, leading digits.
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    if (value > std::numeric_limits<int>::max() / 10) return 0;  // absurd type: a plain file
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

std::optional<std::int32_t> ParseEntryLength(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

bool IsSafeEntryPath(std::string_view path) {
  if (path.empty() || path.front() == '/' || path.front() == '\\') return false;
  if (path.find(':') != std::string_view::npos) return false;
  if (path.find('\0') != std::string_view::npos) return false;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view component = path.substr(start, end - start);
    // A trailing separator ("bin/") is tolerated; an empty component elsewhere is not.
    if (component.empty() && end != path.size()) return false;
    // Windows drops trailing dots and blanks from names, so ". ." or "... " could still mean
    // the parent: refuse every component made of dots and blanks only.
    if (!component.empty() && component.find_first_not_of(". ") == std::string_view::npos)
      return false;
    start = end + 1;
  }
  return true;
}

bool IsWindowsAliasName(std::string_view component) {
  if (component.empty()) return false;
  if (component.back() == '.' || component.back() == ' ') return true;
  // The device is named by the part before the first dot, trailing blanks ignored.
  std::string_view base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  const auto upper = [](char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  };
  std::string name;
  for (char c : base) name.push_back(upper(c));
  if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL" || name == "CONIN$" ||
      name == "CONOUT$")
    return true;
  if (name.size() != 4 || (name.compare(0, 3, "COM") != 0 && name.compare(0, 3, "LPT") != 0))
    return false;
  const auto digit = static_cast<unsigned char>(name[3]);
  // 0xB9, 0xB2 and 0xB3 are the superscript one, two and three of code page 1252.
  return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

bool AliasesOnThisSystem(std::string_view path) {
  if (!detail::NamesAlias()) return false;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = path.size();
    if (IsWindowsAliasName(path.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace ferrolan::archive
