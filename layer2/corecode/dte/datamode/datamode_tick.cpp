// The data path's share of the controller's 10 ms tick. Kept apart from
// the mode changes: the tick reaches no packet, lock or critical section.
#include "layer2/corecode/dte/datamode/datamode_select.h"
#include "layer2/corecode/dte/datamode/datamode_state.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/services/link_protocols.h"

namespace vxctl {

namespace {
// The modem task's state while it holds the fallback countdown.
constexpr std::uint8_t kTaskStateHoldsFallback = 3;
}  // namespace

void datamode_tick() {
  DataModeState& s = datamode_state();
  if (s.mode == kModeV42Detect) v42det_timer();
  if (s.fallback_seconds != 0 && --s.fallback_prescaler == 0) {
    s.fallback_prescaler = kFallbackPrescale;
    if (MachineState<ModemTaskState>().state != kTaskStateHoldsFallback &&
        --s.fallback_seconds == 0) {
      async_set_fallback_countdown(0);
    }
  }
  std::atomic<std::uint16_t>& hold = v80_hold_countdown();
  if (hold != 0 && --hold == 0) v80_hold() = 0;
}

}  // namespace vxctl
