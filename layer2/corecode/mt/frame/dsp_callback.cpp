// The data pump's notification: after every packet or data-block post, and
// on its writes of register 255 while the controller enabled them.
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/task/critical_section.h"

namespace vxctl {

void ntdrv_dsp_callback(pump::HostInterface*) {
  if (ctl_globals().serial == nullptr || dsp_page() == nullptr) return;
  // No packet may be sent from here: the scope refuses it at once.
  DspCallbackScope scope;
  if (dsp_reg_read(pump::kRegDpPacket) != 0) dsp_packet_dispatch(dsp_packet_take());
  ntdrv_run_trigger();
}

}  // namespace vxctl
