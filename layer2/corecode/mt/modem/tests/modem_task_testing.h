// What the modem task's tests share: the task put into a state with a code
// already taken, and the calls into parts not built yet by name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/pending/pending_log.h"
#include "layer2/corecode/mt/tests/support/fake_data_pump.h"
#include "layer2/corecode/mt/tests/support/pending_timeline.h"
#include "pump/core/comram.h"

namespace vxctl::testing {

// The task in `state`, with `code` in register 54 and taken by the monitor
// (so the next step sees no change), and the logs emptied.
inline void PutTask(FakeDataPump& pump, std::uint8_t state, std::uint8_t code) {
  ModemTaskState& task = MachineState<ModemTaskState>();
  task.state = state;
  task.code = code;
  task.previous_code = code;
  task.connected = code == kCodeConnected || code == kCodeRetraining ? 1 : 0;
  pump.SetRegister(pump::kRegStatus, code);
  MachineState<PendingLog>().Clear();
  pump.ClearTraces();
}

// The pending calls since the last Clear, as DescribePending writes them.
inline std::vector<std::string> DescribedPendingCalls() {
  std::vector<std::string> calls;
  for (const PendingCall& call : MachineState<PendingLog>().Calls()) calls.push_back(DescribePending(call));
  return calls;
}

}  // namespace vxctl::testing
