#include "pack/format/json_reader.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace ferrolan::pack {
namespace {

TEST(JsonReaderTest, AcceptsTheGrammarAndRefusesWhatIsNotJson) {
  std::string error;
  std::optional<Json> value = ParseJson(
      "\xEF\xBB\xBF{\"a\": [1, -2.5e3, true, false, null], \"s\": \"q\\\"\\\\\\/\\n\\u00e9"
      "\\ud83d\\ude00\", \"o\": {}}",
      &error);
  ASSERT_TRUE(value) << error;
  ASSERT_EQ(value->size(), 3u);
  EXPECT_EQ(value->begin().key(), "a");  // document order
  EXPECT_EQ((*value)["a"][1].get<double>(), -2500.0);
  EXPECT_EQ((*value)["s"].get<std::string>(), "q\"\\/\n\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_TRUE((*value)["o"].is_object());
  EXPECT_STREQ(JsonKindName((*value)["a"][0]), "a number");

  // Every refusal names the line and column of the offending character.
  struct Bad {
    const char* text;
    const char* message;
  };
  const Bad bad[] = {
      {"{\"a\": 1,}", "line 1, column 9: "},  // trailing comma
      {"[1, 2,]", "line 1, column 7: "},      // trailing comma
      {"{\"a\": 1, \"a\": 2}", "line 1, column 10: duplicate member \"a\""},
      {"{\"a\\\"\": 1,\n \"a\\\"\": 2}", "line 2, column 2: duplicate member"},
      {"{\"o\": {\"a\": 1}, \"p\": {\"a\": 1, \"b\": {}, \"b\": 2}}",
       "line 1, column 40: duplicate member \"b\""},
      {"{\n  // note\n}", "line 2, column 3: "},  // no comments
      {"[01]", "line 1, column 3: "},
      {"\"tab\there\"", "line 1, column 5: "},  // control character
      {"\"\\ud800x\"", "line 1, column 8: "},   // unpaired surrogate
      {"{} {}", "line 1, column 4: "},
      {"[1, 2", "line 1, column 6: "},
      {"tru", "line 1, column 4: "},
  };
  for (const Bad& b : bad) {
    error.clear();
    EXPECT_FALSE(ParseJson(b.text, &error)) << b.text;
    EXPECT_NE(error.find(b.message), std::string::npos) << b.text << " -> " << error;
    EXPECT_EQ(error.find("json.exception"), std::string::npos) << error;
  }
  // The same name in different objects is no duplicate.
  EXPECT_TRUE(ParseJson("[{\"a\": 1}, {\"a\": {\"a\": 2}}]", &error)) << error;
  EXPECT_FALSE(ParseJson(std::string(100, '[') + std::string(100, ']'), &error));
  EXPECT_NE(error.find("line 1, column 66: nesting is too deep"), std::string::npos) << error;
}

}  // namespace
}  // namespace ferrolan::pack
