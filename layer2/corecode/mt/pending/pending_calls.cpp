#include "layer2/corecode/mt/pending/pending_calls.h"

#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/pending/pending_log.h"

namespace vxctl {

void ModemTask_DspIdle() { MachineState<PendingLog>().Record("ModemTask_DspIdle"); }

void ModemTask_SetCallProgress(std::uint8_t mode) {
  MachineState<PendingLog>().Record("ModemTask_SetCallProgress", {mode});
}

void ModemTask_Tick10ms() { MachineState<PendingLog>().Record("ModemTask_Tick10ms"); }

std::uint8_t ModemTask_TakeLineFrame(const std::uint8_t*& frame, std::uint16_t& length) {
  MachineState<PendingLog>().Record("ModemTask_TakeLineFrame");
  frame = nullptr;
  length = 0;
  return 0;
}

void ModemTask_CountFrameError() {
  MachineState<PendingLog>().Record("ModemTask_CountFrameError");
}

}  // namespace vxctl
