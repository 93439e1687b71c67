// vxreg's command line.
#pragma once

#include <string>
#include <vector>

namespace vxreg {

enum class Action { kNone, kList, kGet, kSet, kReset };

struct Command {
  std::string state_file;
  std::string hive_file;  // empty: the built-in default hive
  Action action = Action::kNone;
  std::string name;   // get and set
  std::string value;  // set
  bool help = false;
};

inline constexpr const char* kUsage =
    "usage: vxreg --state FILE [--hive FILE] list | get NAME | set NAME VALUE | reset\n"
    "  --state FILE   the state file vxmodem runs on (--state of vxmodem)\n"
    "  --hive FILE    the seed it runs on (default: the built-in hive)\n"
    "  list           every controller value: type, size, stored value or default\n"
    "  get NAME       one value, stored or default\n"
    "  set NAME VALUE writes the value; a number for a DWORD or a one-byte switch\n"
    "                 (decimal, or 0x and hex digits), hex bytes for other binaries\n"
    "                 (\"01 02 ff\"), the text for a string; VALUE may begin with\n"
    "                 its type (dword:, binary:, sz:)\n"
    "  reset          deletes the state file: the factory settings\n"
    "set and reset refuse while vxmodem runs on the state file.\n";

struct ParsedCommand {
  Command command;
  std::string error;
};
ParsedCommand ParseCommand(const std::vector<std::string>& arguments);

}  // namespace vxreg
