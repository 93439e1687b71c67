// vxmodem's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vxmodem {

struct Options {
  std::string hive_file;   // empty: the built-in default hive
  std::string state_file;  // empty: changes stay in memory
  double seconds = 5.0;
  bool realtime = false;
  std::string trace_file;  // empty: no trace written
  std::string tty_path;    // empty: no pseudo-terminal
  bool help = false;
};

inline constexpr const char* kUsage =
    "usage: vxmodem [--hive FILE] [--state FILE] [--seconds N] [--realtime] [--trace FILE]\n"
    "               [--tty PATH]\n"
    "  --hive FILE    registry seed to boot from (default: the built-in hive)\n"
    "  --state FILE   registry state file: changes persist there\n"
    "  --seconds N    how long the machine runs, in seconds (default 5)\n"
    "  --realtime     pace virtual time to the wall clock\n"
    "  --trace FILE   write the simulation's full trace to FILE\n"
    "  --tty PATH     COM1 as a pseudo-terminal, linked at PATH; paces to the wall clock,\n"
    "                 and --seconds 0 runs until SIGINT or SIGTERM\n"
    "  --help         this text\n";

// The options, or the error that makes the command line unusable.
struct Parsed {
  Options options;
  std::string error;
};
Parsed ParseOptions(const std::vector<std::string>& arguments);

}  // namespace vxmodem
