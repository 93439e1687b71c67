// What vxmodem checks before the machine starts, so that bad input ends the
// program with a message and status 2 instead of stopping the machine: the
// hive (a regular file, at most 64 MiB, that parses and holds the drivers'
// service keys), the state file (the same limits, a layer that applies over
// the hive, in a folder that can be written) and the trace file (opened for
// writing now, written at the end).
#pragma once

#include <fstream>
#include <string>

#include "app/options.h"
#include "platform/machine/machine.h"

namespace vxmodem {

struct Startup {
  plat::MachineConfig config;
  std::ofstream trace;  // open when options name a trace file
  std::string error;    // empty when the machine may start
};

Startup PrepareStartup(const Options& options);

}  // namespace vxmodem
