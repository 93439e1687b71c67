// The controller's 10 ms tick: its steps in order and the command
// interpreter's counts.
#include <gtest/gtest.h>

#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/tests/dte_rig.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/call_waiting_state.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/services/link_protocols.h"
#include "layer2/corecode/mt/tests/support/port_rig.h"

namespace vxctl::testing {
namespace {

TEST(DteTick, StepsInOrderAndCountsOver6000Ticks) {
  RunDte([](DteInterfaceState& dte) {
    PortBlock& port = port_block();
    const std::uint32_t elapsed_before = port.elapsed[kElapsedWrite].load();
    StartOnline(0, 0);
    dte_to_break(2, 6000);
    // The data path's step counts the V.80 hold down, one per tick.
    v80_hold_countdown() = 6000;
    v80_hold() = 1;
    const std::int32_t ticks_before = MachineState<CallWaitingState>().ticks.load();
    std::uint32_t seen_100ms = 0;
    for (std::uint32_t tick = 1; tick <= 6000; ++tick) {
      ctl_tick_10ms();
      const AcuTickCounts& counts = acu_tick_counts();
      // The 100 ms count steps on every tenth tick, the others with it.
      if (counts.ticks_100ms.load() != seen_100ms) {
        ASSERT_EQ(tick % 10, 0u) << tick;
        seen_100ms = counts.ticks_100ms.load();
      }
    }
    const AcuTickCounts& counts = acu_tick_counts();
    EXPECT_EQ(counts.ticks_10ms.load(), 6000u);
    EXPECT_EQ(counts.ticks_100ms.load(), 600u);
    EXPECT_EQ(counts.ticks_1s.load(), 60u);
    EXPECT_EQ(counts.ticks_1min.load(), 1u);
    EXPECT_EQ(port.elapsed[kElapsedWrite].load() - elapsed_before, 60000u);
    EXPECT_EQ(dte.brk.active.load(), 0) << "the break of 6000 ticks has ended";
    // Each tick runs the modem task's counters and the data path's step.
    EXPECT_EQ(MachineState<CallWaitingState>().ticks.load() - ticks_before, 6000);
    EXPECT_EQ(v80_hold_countdown(), 0);
    EXPECT_EQ(v80_hold(), 0);
  });
}

}  // namespace
}  // namespace vxctl::testing
