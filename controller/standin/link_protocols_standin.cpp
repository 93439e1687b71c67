#include "controller/standin/link_protocols_standin.h"

#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/services/link_protocols.h"

namespace vxctl {

std::atomic<std::uint8_t>& ec_break_length() {
  return MachineState<LinkProtocolsStandin>().break_length;
}

void ec_get_statistics_clear(EcStatistics& record) {
  EcStatistics& statistics = MachineState<LinkProtocolsStandin>().statistics;
  record = statistics;
  statistics.error_count = 0;
  statistics.frames_received = 0;
  statistics.frames_in_error = 0;
}

void v44_free_history() { MachineState<LinkProtocolsStandin>().history_frees.fetch_add(1); }

}  // namespace vxctl
