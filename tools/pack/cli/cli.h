// Command-line parsing for ferrolan-pack: one subcommand, then its options and positional
// arguments in any order. Parsing never prints or ends the process; the commands decide what a
// missing or surplus argument means and report it with exit code 2.
#pragma once

#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ferrolan::pack {

/// Process exit codes of every command.
enum ExitCode : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

/// One option a command accepts. `shortName` may be empty; options are stored under `longName`.
struct OptionDef {
  std::string_view shortName;  // "-o"
  std::string_view longName;   // "--output"
  bool takesValue = false;
  bool repeatable = false;  // may be given more than once; every value is kept in order
};

struct CommandLine {
  std::vector<std::string> positionals;
  std::map<std::string, std::string, std::less<>> values;  // options with a value, by long name
  std::set<std::string, std::less<>> flags;                // options without one, by long name
  // every value of a repeatable option, in the order given (`values` holds the first)
  std::map<std::string, std::vector<std::string>, std::less<>> lists;
  bool help = false;  // "-h" or "--help" appeared anywhere before "--"
  std::string error;  // empty when the arguments were understood

  bool Has(std::string_view longName) const {
    return values.find(longName) != values.end() || flags.find(longName) != flags.end();
  }
  /// The option's value, or `fallback` when it was not given.
  std::string Value(std::string_view longName, std::string fallback = {}) const;
  /// Every value of a repeatable option, in order; empty when it was not given.
  std::vector<std::string> Values(std::string_view longName) const;
};

/// Parses the arguments that follow the subcommand. Accepted forms: "-o VALUE", "--output VALUE",
/// "--output=VALUE"; "--" makes every later argument positional; a lone "-" is positional.
/// An unknown option, a missing value, a value given to a flag or a non-repeatable option given
/// twice sets `error` (the first problem found) and stops parsing.
CommandLine ParseCommandLine(const std::vector<std::string>& args,
                             std::span<const OptionDef> options);

}  // namespace ferrolan::pack
