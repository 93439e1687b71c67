// Debug lines (DbgPrint) need a kernel context: DebugLinesOf runs code on a
// thread of a fresh machine and returns what it printed.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/ke/simulation.h"

namespace pump::testing {

inline std::vector<std::string> DebugLinesOf(const std::function<void()>& body) {
  plat::Simulation simulation;
  plat::ke::Kernel& machine = simulation.AddMachine("pump");
  EXPECT_TRUE(simulation.RunUserThread(machine, "test", body));
  std::vector<std::string> lines;
  for (const plat::ke::LogLine& line : machine.log()) lines.push_back(line.text);
  return lines;
}

}  // namespace pump::testing
