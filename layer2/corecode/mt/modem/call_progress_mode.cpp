#include "layer2/corecode/mt/modem/call_progress_mode.h"

#include "layer2/corecode/mt/dsp/dsp_commands.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/pending/pending_calls.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/services/line_services.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kModesSent = 3;            // modes from 3 are only kept
constexpr std::uint8_t kCallerIdEndRequest = 5;  // asks the detection to end
constexpr std::uint8_t kCallerIdReportingOn = 0x80;

// The data pump's own call-progress codes that outrank the line services'
// detectors: 4, 6 and from 8 (8 line in use, 9 unavailable, 10 digital).
bool DataPumpCodeWins(std::uint8_t code) { return code == 4 || code == 6 || code >= 8; }

}  // namespace

void ModemTask_SendCallProgressMode(std::uint8_t mode) {
  dsp_send_packet(DspCommand::Ack(kCmdCallProgressMode, {mode, 1}));
}

void ModemTask_CallProgressOff() { ModemTask_SendCallProgressMode(0); }

void ModemTask_SetCallProgress(std::uint8_t mode) {
  ModemTaskState& task = MachineState<ModemTaskState>();
  if (mode < kModesSent) {
    if (mode == 0 && task.call_progress_mode != 0) ModemTask_DspIdle();
    if (mode != 0 && acu_caller_id_substate().load() != 0) {
      acu_caller_id_substate().store(kCallerIdEndRequest);
      acu_caller_id_poll();
    }
    ModemTask_SendCallProgressMode(mode);
  }
  task.call_progress_mode = mode;
}

std::uint8_t ModemTask_GetCallProgress() {
  const std::uint8_t code = ModemTask_ReadDspEventType();
  if (DataPumpCodeWins(code)) return code;
  return CPT_get_result();
}

void ModemTask_SendCidReporting() {
  const std::uint8_t reporting = acu_caller_id_enabled() != 0 ? kCallerIdReportingOn : 0;
  dsp_send_packet(DspCommand::Ack(kCmdCallerIdReporting, {reporting, 0}));
}

}  // namespace vxctl
