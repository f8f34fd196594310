#include "pack/cli/cli.h"

namespace ferrolan::pack {
namespace {

const OptionDef* FindOption(std::span<const OptionDef> options, std::string_view name) {
  for (const OptionDef& option : options) {
    if (name == option.longName || (!option.shortName.empty() && name == option.shortName)) {
      return &option;
    }
  }
  return nullptr;
}

}  // namespace

std::string CommandLine::Value(std::string_view longName, std::string fallback) const {
  auto found = values.find(longName);
  return found == values.end() ? fallback : found->second;
}

std::vector<std::string> CommandLine::Values(std::string_view longName) const {
  auto found = lists.find(longName);
  return found == lists.end() ? std::vector<std::string>() : found->second;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args,
                             std::span<const OptionDef> options) {
  CommandLine result;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      result.positionals.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      result.help = true;
      continue;
    }
    std::string_view name = arg;
    std::string inlineValue;
    bool hasInlineValue = false;
    if (arg.starts_with("--")) {
      std::size_t equals = arg.find('=');
      if (equals != std::string::npos) {
        name = std::string_view(arg).substr(0, equals);
        inlineValue = arg.substr(equals + 1);
        hasInlineValue = true;
      }
    }
    const OptionDef* option = FindOption(options, name);
    if (option == nullptr) {
      result.error = "unknown option " + std::string(name);
      return result;
    }
    std::string key(option->longName);
    if (result.Has(key) && !option->repeatable) {
      result.error = "option " + std::string(name) + " given twice";
      return result;
    }
    if (!option->takesValue) {
      if (hasInlineValue) {
        result.error = "option " + key + " takes no value";
        return result;
      }
      result.flags.insert(key);
      continue;
    }
    std::string value;
    if (hasInlineValue) {
      value = inlineValue;
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      result.error = "option " + std::string(name) + " needs a value";
      return result;
    }
    result.values.emplace(key, value);  // keeps the first value of a repeated option
    if (option->repeatable) result.lists[key].push_back(std::move(value));
  }
  return result;
}

}  // namespace ferrolan::pack
