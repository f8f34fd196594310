#include "json_reader.h"

#include <cstdint>

namespace ferrolan::pack {
namespace {

// Nesting deeper than this is refused: a configuration never needs it, and the recursive
// descent would otherwise let a hostile file exhaust the stack.
constexpr int kMaxDepth = 64;

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::optional<JsonValue> Document(std::string* error) {
    SkipSpace();
    std::optional<JsonValue> value = Value(0);
    if (value) {
      SkipSpace();
      if (pos_ != text_.size()) value = Fail("unexpected text after the document");
    }
    if (!value) *error = error_;
    return value;
  }

 private:
  std::optional<JsonValue> Fail(const std::string& message) {
    if (error_.empty()) {
      int line = 1;
      int column = 1;
      for (std::size_t i = 0; i < pos_ && i < text_.size(); ++i) {
        if (text_[i] == '\n') {
          ++line;
          column = 1;
        } else {
          ++column;
        }
      }
      error_ =
          "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + message;
    }
    return std::nullopt;
  }

  void SkipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  bool Literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  std::optional<JsonValue> Value(int depth) {
    if (depth > kMaxDepth) return Fail("nesting is too deep");
    if (pos_ >= text_.size()) return Fail("unexpected end of the document");
    char c = text_[pos_];
    if (c == '{') return ObjectValue(depth);
    if (c == '[') return ArrayValue(depth);
    if (c == '"') {
      std::optional<std::string> s = StringText();
      if (!s) return std::nullopt;
      return JsonValue::String(std::move(*s));
    }
    if (c == '-' || (c >= '0' && c <= '9')) return NumberValue();
    if (Literal("true")) return JsonValue::Bool(true);
    if (Literal("false")) return JsonValue::Bool(false);
    if (Literal("null")) return JsonValue::Null();
    return Fail(std::string("unexpected character '") + c + "'");
  }

  std::optional<JsonValue> ObjectValue(int depth) {
    ++pos_;  // '{'
    std::vector<JsonValue::Member> members;
    SkipSpace();
    if (pos_ < text_.size() && text_[pos_] == '}') {
      ++pos_;
      return JsonValue::Object(std::move(members));
    }
    while (true) {
      SkipSpace();
      if (pos_ >= text_.size() || text_[pos_] != '"') return Fail("expected a member name");
      std::size_t namePos = pos_;
      std::optional<std::string> name = StringText();
      if (!name) return std::nullopt;
      for (const auto& member : members) {
        if (member.first == *name) {
          pos_ = namePos;
          return Fail("duplicate member \"" + *name + "\"");
        }
      }
      SkipSpace();
      if (pos_ >= text_.size() || text_[pos_] != ':') return Fail("expected ':'");
      ++pos_;
      SkipSpace();
      std::optional<JsonValue> value = Value(depth + 1);
      if (!value) return std::nullopt;
      members.emplace_back(std::move(*name), std::move(*value));
      SkipSpace();
      if (pos_ < text_.size() && text_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (pos_ < text_.size() && text_[pos_] == '}') {
        ++pos_;
        return JsonValue::Object(std::move(members));
      }
      return Fail("expected ',' or '}'");
    }
  }

  std::optional<JsonValue> ArrayValue(int depth) {
    ++pos_;  // '['
    std::vector<JsonValue> items;
    SkipSpace();
    if (pos_ < text_.size() && text_[pos_] == ']') {
      ++pos_;
      return JsonValue::Array(std::move(items));
    }
    while (true) {
      SkipSpace();
      std::optional<JsonValue> value = Value(depth + 1);
      if (!value) return std::nullopt;
      items.push_back(std::move(*value));
      SkipSpace();
      if (pos_ < text_.size() && text_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (pos_ < text_.size() && text_[pos_] == ']') {
        ++pos_;
        return JsonValue::Array(std::move(items));
      }
      return Fail("expected ',' or ']'");
    }
  }

  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  std::optional<JsonValue> NumberValue() {
    std::size_t start = pos_;
    if (text_[pos_] == '-') ++pos_;
    if (pos_ >= text_.size() || !IsDigit(text_[pos_])) return Fail("malformed number");
    if (text_[pos_] == '0') {
      ++pos_;
    } else {
      while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
    }
    if (pos_ < text_.size() && text_[pos_] == '.') {
      ++pos_;
      if (pos_ >= text_.size() || !IsDigit(text_[pos_])) return Fail("malformed number");
      while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
    }
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      ++pos_;
      if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
      if (pos_ >= text_.size() || !IsDigit(text_[pos_])) return Fail("malformed number");
      while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
    }
    return JsonValue::Number(std::string(text_.substr(start, pos_ - start)));
  }

  static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  std::optional<std::uint32_t> Hex4() {
    if (pos_ + 4 > text_.size()) return std::nullopt;
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      int digit = HexValue(text_[pos_ + static_cast<std::size_t>(i)]);
      if (digit < 0) return std::nullopt;
      value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    pos_ += 4;
    return value;
  }

  static void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  std::optional<std::string> StringText() {
    ++pos_;  // '"'
    std::string out;
    while (true) {
      if (pos_ >= text_.size()) {
        Fail("unterminated string");
        return std::nullopt;
      }
      char c = text_[pos_];
      if (c == '"') {
        ++pos_;
        return out;
      }
      if (static_cast<unsigned char>(c) < 0x20) {
        Fail("control character in a string (write it as an escape)");
        return std::nullopt;
      }
      if (c != '\\') {
        out += c;
        ++pos_;
        continue;
      }
      ++pos_;
      if (pos_ >= text_.size()) {
        Fail("unterminated string");
        return std::nullopt;
      }
      char e = text_[pos_++];
      switch (e) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          std::optional<std::uint32_t> code = Hex4();
          if (!code) {
            Fail("malformed \\u escape");
            return std::nullopt;
          }
          if (*code >= 0xD800 && *code < 0xDC00) {
            // A high surrogate must be followed by its low half.
            std::optional<std::uint32_t> low;
            if (Literal("\\u")) low = Hex4();
            if (!low || *low < 0xDC00 || *low > 0xDFFF) {
              Fail("unpaired surrogate in a \\u escape");
              return std::nullopt;
            }
            *code = 0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00);
          } else if (*code >= 0xDC00 && *code <= 0xDFFF) {
            Fail("unpaired surrogate in a \\u escape");
            return std::nullopt;
          }
          AppendUtf8(out, *code);
          break;
        }
        default:
          --pos_;
          Fail(std::string("unknown escape \\") + e);
          return std::nullopt;
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::string error_;
};

}  // namespace

JsonValue JsonValue::Bool(bool value) {
  JsonValue v;
  v.kind_ = Kind::kBool;
  v.bool_ = value;
  return v;
}

JsonValue JsonValue::Number(std::string text) {
  JsonValue v;
  v.kind_ = Kind::kNumber;
  v.text_ = std::move(text);
  return v;
}

JsonValue JsonValue::String(std::string text) {
  JsonValue v;
  v.kind_ = Kind::kString;
  v.text_ = std::move(text);
  return v;
}

JsonValue JsonValue::Array(std::vector<JsonValue> items) {
  JsonValue v;
  v.kind_ = Kind::kArray;
  v.items_ = std::move(items);
  return v;
}

JsonValue JsonValue::Object(std::vector<Member> members) {
  JsonValue v;
  v.kind_ = Kind::kObject;
  v.members_ = std::move(members);
  return v;
}

const JsonValue* JsonValue::Find(std::string_view name) const {
  for (const Member& member : members_) {
    if (member.first == name) return &member.second;
  }
  return nullptr;
}

const char* JsonKindName(JsonValue::Kind kind) {
  switch (kind) {
    case JsonValue::Kind::kNull:
      return "null";
    case JsonValue::Kind::kBool:
      return "a boolean";
    case JsonValue::Kind::kNumber:
      return "a number";
    case JsonValue::Kind::kString:
      return "a string";
    case JsonValue::Kind::kArray:
      return "an array";
    case JsonValue::Kind::kObject:
      return "an object";
  }
  return "?";
}

std::optional<JsonValue> ParseJson(std::string_view text, std::string* error) {
  // A byte-order mark written by some editors is not JSON but harmless; skip it.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return Parser(text).Document(error);
}

}  // namespace ferrolan::pack
