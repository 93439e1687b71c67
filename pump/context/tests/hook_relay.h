// The controller's hook relay bit in register 242 and the line requests it
// leads to, for the line monitor's tests.
#pragma once

#include <cstdint>
#include <vector>

#include "pump/core/comram.h"
#include "pump/tests/support/afe_log.h"
#include "pump/tests/support/pump_harness.h"

namespace pump::testing {

// The line requests (1 on, 2 off) the front end saw since the last call.
inline std::vector<ULONG> LineRequests(TestAfe& afe) {
  std::vector<ULONG> line;
  for (ULONG code : RequestCodes(afe.Log())) {
    if (code == afe::kAfeLineOn || code == afe::kAfeLineOff) line.push_back(code);
  }
  afe.ClearLog();
  return line;
}

inline void SetHookRelay(PumpHarness& harness, bool on_hook) {
  std::uint8_t& lines = harness.Host().comram.reg[kRegLineLevelA];
  lines = static_cast<std::uint8_t>(on_hook ? lines | kLineHookRelay : lines & ~kLineHookRelay);
}

}  // namespace pump::testing
