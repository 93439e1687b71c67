// ModemTask_SetPowerState: the power-state command of "*ACPI=".
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/modem/call_progress_mode.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/pending/pending_calls.h"
#include "layer2/corecode/mt/stats/statistics_block.h"

namespace vxctl {

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
      ModemTask_SendCidReporting();
      ModemTask_CallProgressOff();
      dsp_power_control(kDspPowerLow2);
      return;
    }
    default:
      return;
  }
}

}  // namespace vxctl
