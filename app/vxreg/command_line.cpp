#include "app/vxreg/command_line.h"

#include "app/vxreg/value_text.h"

namespace vxreg {
namespace {

struct ActionWords {
  const char* word;
  Action action;
  std::size_t operands;
};

constexpr ActionWords kActions[] = {
    {"list", Action::kList, 0},
    {"get", Action::kGet, 1},
    {"set", Action::kSet, 2},
    {"reset", Action::kReset, 0},
};

}  // namespace

ParsedCommand ParseCommand(const std::vector<std::string>& arguments) {
  ParsedCommand parsed;
  Command& c = parsed.command;
  std::size_t i = 0;
  for (; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "--help" || a == "-h") {
      c.help = true;
      return parsed;
    }
    if (a != "--state" && a != "--hive") break;
    if (i + 1 >= arguments.size()) {
      parsed.error = a + " needs a value";
      return parsed;
    }
    (a == "--state" ? c.state_file : c.hive_file) = arguments[++i];
  }
  if (c.state_file.empty()) {
    parsed.error = "--state FILE is required";
    return parsed;
  }
  if (i >= arguments.size()) {
    parsed.error = "no command given";
    return parsed;
  }
  for (const ActionWords& words : kActions) {
    if (arguments[i] != words.word) continue;
    if (arguments.size() - i - 1 != words.operands) {
      parsed.error =
          std::string(words.word) + " takes " + std::to_string(words.operands) + " argument(s)";
      return parsed;
    }
    c.action = words.action;
    if (words.operands >= 1) c.name = arguments[i + 1];
    if (words.operands >= 2) c.value = arguments[i + 2];
    return parsed;
  }
  parsed.error = "unknown command " + Quoted(arguments[i]);
  return parsed;
}

}  // namespace vxreg
