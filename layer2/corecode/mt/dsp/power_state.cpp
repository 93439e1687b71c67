// ModemTask_SetPowerState: the power-state command of "*ACPI=".
#include "layer2/corecode/mt/dsp/dsp_commands.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/pending/pending_calls.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/stats/statistics_block.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kCallerIdReportingOn = 0x80;

}  // namespace

void ModemTask_SetPowerState(std::uint16_t state) {
  switch (state) {
    case 6:
      dsp_power_control(kDspPowerOn);
      ModemTask_SetCallProgress(0);
      return;
    case 7:
      stats_reset();
      dsp_power_control(kDspPowerLow1);
      return;
    case 8:
      dsp_power_control(kDspPowerLow2);
      return;
    case 9: {
      stats_reset();
      ModemTask_DspIdle();
      const std::uint8_t reporting = acu_caller_id_enabled() != 0 ? kCallerIdReportingOn : 0;
      dsp_send_packet(DspCommand::Ack(kCmdCallerIdReporting, {reporting, 0}));
      dsp_send_packet(DspCommand::Ack(kCmdCallProgressMode, {0, 1}));
      dsp_power_control(kDspPowerLow2);
      return;
    }
    default:
      return;
  }
}

}  // namespace vxctl
