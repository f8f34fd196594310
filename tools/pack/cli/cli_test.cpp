#include "pack/cli/cli.h"

#include <gtest/gtest.h>

namespace ferrolan::pack {
namespace {

constexpr OptionDef kOptions[] = {
    {"-o", "--output", true},
    {"", "--key", true},
    {"-q", "--quiet", false},
};

CommandLine Parse(std::vector<std::string> args) { return ParseCommandLine(args, kOptions); }

TEST(CliTest, OptionsAndPositionalsInAnyOrder) {
  CommandLine line = Parse({"in", "-o", "out.p2.l2", "--key=k.priv", "-q", "more"});
  ASSERT_EQ(line.error, "");
  EXPECT_EQ(line.positionals, (std::vector<std::string>{"in", "more"}));
  EXPECT_EQ(line.Value("--output"), "out.p2.l2");
  EXPECT_EQ(line.Value("--key"), "k.priv");
  EXPECT_TRUE(line.Has("--quiet"));
  EXPECT_FALSE(line.help);
  EXPECT_EQ(line.Value("--missing", "fallback"), "fallback");
}

TEST(CliTest, DoubleDashAndLoneDashArePositional) {
  CommandLine line = Parse({"-", "--", "-o", "--help"});
  ASSERT_EQ(line.error, "");
  EXPECT_EQ(line.positionals, (std::vector<std::string>{"-", "-o", "--help"}));
  EXPECT_FALSE(line.help);
  // A value that looks like an option is still taken as the value.
  EXPECT_EQ(Parse({"-o", "-weird-name"}).Value("--output"), "-weird-name");
  // An empty inline value is a value.
  CommandLine empty = Parse({"--output="});
  EXPECT_EQ(empty.error, "");
  EXPECT_TRUE(empty.Has("--output"));
}

TEST(CliTest, HelpAnywhere) {
  EXPECT_TRUE(Parse({"x", "--help"}).help);
  EXPECT_TRUE(Parse({"-h"}).help);
}

TEST(CliTest, ErrorsNameTheProblem) {
  EXPECT_EQ(Parse({"--bogus"}).error, "unknown option --bogus");
  EXPECT_EQ(Parse({"-x"}).error, "unknown option -x");
  EXPECT_EQ(Parse({"-o"}).error, "option -o needs a value");
  EXPECT_EQ(Parse({"-o", "a", "--output", "b"}).error, "option --output given twice");
  EXPECT_EQ(Parse({"--quiet=yes"}).error, "option --quiet takes no value");
  EXPECT_EQ(Parse({"--output-file", "x"}).error, "unknown option --output-file");
}

}  // namespace
}  // namespace ferrolan::pack
