// The report actions of the state machine and the DTE interface's switches
// between command mode and online data.
#include "controller/acu/acu_actions.h"
#include "controller/acu/acu_controller.h"
#include "controller/acu/acu_link_fax_voice.h"
#include "controller/acu/acu_output.h"
#include "controller/acu/acu_result.h"
#include "controller/acu/acu_settings.h"
#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/mt/lines/status_lines.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kResultConnectRate = 20;
constexpr std::uint8_t kResultNone = 21;
constexpr std::uint32_t kStatusConnected = 0x8;

std::uint8_t Code() { return static_cast<std::uint8_t>(acu_current_event().parameter); }

bool Quiet() { return (acu_settings().s[kSOptions] & kS14Quiet) != 0; }

void DrainStartedResponse() {
  AcuOutputState& output = acu_output();
  if (output.response_started == 0) return;
  output.response_started = 0;
  dte_cmd_to_flush();
}

}  // namespace

void acu_report() {
  acu_report_result(Code());
  DrainStartedResponse();
}

void acu_command_report() {
  acu_report();
  if (acu_controller().dte_rate_hold != 0) return;
  switch (Code()) {
    case 2:
    case 15:
    case 16:
    case 17:
      return;
    default:
      dte_cmd_from_clear();  // type-ahead is discarded
  }
}

void acu_call_report() {
  if (Quiet() || Code() == kResultNone) return;
  acu_report_result(Code());
  dte_cmd_to_flush();
}

void acu_online_report() {
  const std::uint8_t code = Code();
  if (!Quiet() && code != kResultNone) {
    dte_enter_command_mode();
    acu_report_result(code);
  }
  acu_to_online_mode();
  if (code == kResultConnectRate) {
    ModemTask_SetStatusBit(1, kStatusConnected);
    ModemTask_SetDcd(1);
  }
  AcuControllerState& acu = acu_controller();
  if (acu_call().link_kind == kLinkDirect) {
    acu.dte_rate = MachineState<ModemTaskState>().rx_rate;
  }
  if (acu_call().v80_selected != 0) v80_activate();
}

void acu_to_command_mode() {
  dte_enter_command_mode();
  dte_cmd_from_clear();
  dte_cmd_to_clear();
}

void acu_to_online_mode() {
  DrainStartedResponse();
  dte_enter_online_mode();
}

}  // namespace vxctl
