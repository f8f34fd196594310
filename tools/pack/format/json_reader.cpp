#include "pack/format/json_reader.h"

#include <cstddef>
#include <iterator>
#include <set>
#include <vector>

namespace ferrolan::pack {
namespace {

// Nesting deeper than this is refused: a configuration never needs it, and a hostile file
// should not be able to make the reader build an arbitrarily deep tree.
constexpr int kMaxDepth = 64;

// A problem the reader finds itself (nlohmann accepts duplicate names and any depth), thrown
// out of the parser callback with the byte offset it concerns.
struct StrictnessError {
  std::size_t offset;
  std::string message;
};

// Reads the text byte by byte for nlohmann's lexer and counts how far it has read, so the
// parser callback knows where in the text the token it was just handed ends.
class CountingIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  CountingIterator(const char* at, std::size_t* consumed) : at_(at), consumed_(consumed) {}
  reference operator*() const { return *at_; }
  CountingIterator& operator++() {
    ++at_;
    ++*consumed_;
    return *this;
  }
  CountingIterator operator++(int) {
    CountingIterator before = *this;
    ++*this;
    return before;
  }
  bool operator==(const CountingIterator& other) const { return at_ == other.at_; }

 private:
  const char* at_;
  std::size_t* consumed_;
};

// The opening quote of the member name whose closing quote ends just before `end`: the
// duplicate is reported where its name starts, like every other problem.
std::size_t NameStart(std::string_view text, std::size_t end) {
  if (end < 2 || end > text.size()) return end;
  for (std::size_t i = end - 1; i-- > 0;) {
    if (text[i] != '"') continue;
    std::size_t backslashes = 0;
    while (backslashes < i && text[i - 1 - backslashes] == '\\') ++backslashes;
    if (backslashes % 2 == 0) return i;
  }
  return end;
}

std::string Located(std::string_view text, std::size_t offset, const std::string& message) {
  int line = 1;
  int column = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + message;
}

// nlohmann's message without its own prefix ("[json.exception...] parse error at line L,
// column C: "), since the location is written in this reader's form.
std::string SyntaxMessage(const std::string& what) {
  std::size_t column = what.find("column ");
  std::size_t colon = what.find(": ", column == std::string::npos ? 0 : column);
  return colon == std::string::npos ? what : what.substr(colon + 2);
}

}  // namespace

const char* JsonKindName(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::boolean:
      return "a boolean";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
      return "a number";
    case Json::value_t::string:
      return "a string";
    case Json::value_t::array:
      return "an array";
    case Json::value_t::object:
      return "an object";
    case Json::value_t::binary:
    case Json::value_t::discarded:
      break;
  }
  return "?";
}

std::optional<Json> ParseJson(std::string_view text, std::string* error) {
  // A byte-order mark written by some editors is not JSON but harmless; skip it.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::size_t consumed = 0;
  // The names seen so far in each object that is still open, innermost last.
  std::vector<std::set<std::string>> openObjects;
  auto strict = [&](int depth, Json::parse_event_t event, Json& parsed) {
    switch (event) {
      case Json::parse_event_t::object_start:
      case Json::parse_event_t::array_start:
        if (depth > kMaxDepth) throw StrictnessError{consumed - 1, "nesting is too deep"};
        if (event == Json::parse_event_t::object_start) openObjects.emplace_back();
        break;
      case Json::parse_event_t::object_end:
        openObjects.pop_back();
        break;
      case Json::parse_event_t::key: {
        const std::string& name = parsed.get_ref<const std::string&>();
        if (!openObjects.back().insert(name).second) {
          throw StrictnessError{NameStart(text, consumed), "duplicate member \"" + name + "\""};
        }
        break;
      }
      default:
        break;
    }
    return true;
  };
  try {
    return Json::parse(CountingIterator(text.data(), &consumed),
                       CountingIterator(text.data() + text.size(), &consumed), strict,
                       /*allow_exceptions=*/true, /*ignore_comments=*/false);
  } catch (const StrictnessError& problem) {
    *error = Located(text, problem.offset, problem.message);
  } catch (const Json::parse_error& problem) {
    // `byte` counts the characters read, the offending one included.
    *error = Located(text, problem.byte == 0 ? 0 : problem.byte - 1, SyntaxMessage(problem.what()));
  }
  return std::nullopt;
}

}  // namespace ferrolan::pack
