// The packager's reading of its JSON build configuration, on top of nlohmann-json, made strict:
// exactly the JSON grammar (no comments, no trailing commas) and no duplicate member names in
// any object. A vendor's typo should stop the build with the line and column of the problem
// instead of producing a launcher that quietly lacks a setting.
//
// Platforms: portable. Text is taken as UTF-8.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace ferrolan::pack {

/// A parsed document. Objects keep their members in document order, which the Params rely on.
using Json = nlohmann::ordered_json;

/// The name of a value's kind for messages: "null", "a boolean", "a number", "a string", ...
const char* JsonKindName(const Json& value);

/// Parses a whole document. On failure returns none and sets `error` to
/// "line L, column C: what was wrong".
std::optional<Json> ParseJson(std::string_view text, std::string* error);

}  // namespace ferrolan::pack
