#include "controller/standin/link_protocols_standin.h"

#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/services/link_protocols.h"

namespace vxctl {

std::atomic<std::uint8_t>& ec_break_length() {
  return MachineState<LinkProtocolsStandin>().break_length;
}

}  // namespace vxctl
