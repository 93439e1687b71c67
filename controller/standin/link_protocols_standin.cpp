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

void ec_get_statistics(EcStatistics& record) {
  record = MachineState<LinkProtocolsStandin>().statistics;
}

void v80_set_state(std::uint8_t state) {
  LinkProtocolsStandin& standin = MachineState<LinkProtocolsStandin>();
  standin.v80_state = state;
  standin.v80_state_calls.fetch_add(1);
}

std::uint8_t ec_poll() { return MachineState<LinkProtocolsStandin>().ec_status.load(); }

void v44_free_history() { MachineState<LinkProtocolsStandin>().history_frees.fetch_add(1); }

namespace {
LinkProtocolsStandin& lp() { return MachineState<LinkProtocolsStandin>(); }
}  // namespace

void ec_set_link_flag(std::uint8_t on) { lp().link_flag = on; }
void ec_fallback(std::uint8_t) { lp().fallbacks.fetch_add(1); }
void ec_set_detection_result(std::uint8_t first, std::uint8_t second) {
  lp().detection_first = first;
  lp().detection_second = second;
  lp().detection_results.fetch_add(1);
}
void async_rx_reset() { lp().async_rx_resets.fetch_add(1); }
void async_tx_reset() { lp().async_tx_resets.fetch_add(1); }
void async_set_fallback_countdown(std::uint16_t seconds) {
  if (seconds == 0) lp().restart_requests.fetch_add(1);
}
void ec_set_tail_byte(std::uint8_t byte) {
  lp().tail_byte = byte;
  lp().tail_bytes.fetch_add(1);
}
void v42det_timer() { lp().v42det_ticks.fetch_add(1); }
void v80_tx_started() { lp().v80_starts.fetch_add(1); }
std::atomic<std::uint8_t>& v80_kick_permit() { return lp().v80_kick_permit; }
std::atomic<std::uint16_t>& v80_rx_overruns() { return lp().v80_rx_overruns; }
std::atomic<std::uint16_t>& v80_hold_countdown() { return lp().v80_hold_countdown; }
std::atomic<std::uint8_t>& v80_hold() { return lp().v80_hold; }


}  // namespace vxctl
