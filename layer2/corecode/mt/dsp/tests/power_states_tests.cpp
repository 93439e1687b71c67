// The power-state command of "*ACPI=": what the data pump sees at each
// doorbell, interleaved with the calls into parts not built yet.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/standin/command_interpreter_standin.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/tests/support/pending_timeline.h"

namespace vxctl::testing {
namespace {

TEST(DspPowerStates, EachStateRingsAndCallsInOrder) {
  struct Case {
    std::uint16_t state;
    std::uint8_t caller_id;
    std::vector<std::string> timeline;
  };
  const std::vector<Case> cases = {
      {6, 0, {"252=D0", "cmd 65 00 01"}},  // call progress off; it was not on
      {7, 0, {"cmd 94", "252=D1"}},  // the statistics reset reads the version
      {8, 0, {"252=D2"}},
      {9,
       1,
       // the data pump to idle: the link reset, the reset command, the
       // hardware query, the caller-ID configuration (no country record)
       {"cmd 94", "252=02", "252=01", "cmd 60 00 00", "cmd 94", "cmd A4 00 00", "cmd 7D 80 00",
        "cmd 65 00 01", "252=D2"}},
      {9,
       0,
       {"cmd 94", "252=02", "252=01", "cmd 60 00 00", "cmd 94", "cmd A4 00 00", "cmd 7D 00 00",
        "cmd 65 00 01", "252=D2"}},
      {0, 0, {}},
      {5, 0, {}},
      {10, 0, {}},
      {0x0106, 0, {}},  // a state whose low byte is 6
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("state " + std::to_string(c.state));
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      MachineState<CommandInterpreterStandin>().caller_id_enabled = c.caller_id;
      const pump::Comram before = pump.Page();
      ModemTask_SetPowerState(c.state);
      EXPECT_EQ(Timeline(pump), c.timeline);
      if (c.timeline.empty()) {
        EXPECT_TRUE(std::equal(std::begin(before.reg), std::end(before.reg), pump.Page().reg));
      }
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
