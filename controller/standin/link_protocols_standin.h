// Stands in for the link protocols until they are built; they replace it.
// The state below is what the entries of
// layer2/corecode/mt/services/link_protocols.h and of
// controller/acu/acu_services.h refer to, one per machine
// (MachineState<LinkProtocolsStandin>()), for tests to set and read.
#pragma once

#include <atomic>
#include <cstdint>

#include "controller/acu/acu_services.h"

namespace vxctl {

// What reached a stand-in handler of DataModes 0, 4 and 10: the transmit
// blocks it gave back empty and the receive blocks it released, with the
// last receive status.
struct StandinHandlerCalls {
  std::atomic<std::uint32_t> tx_blocks{0};
  std::atomic<std::uint32_t> rx_blocks{0};
  std::atomic<std::uint8_t> last_rx_status{0};
};

struct LinkProtocolsStandin {
  std::atomic<std::uint8_t> break_length{0};
  // What ec_get_statistics_clear copies: all zero but the protocol, 2.
  EcStatistics statistics{.protocol = 2};
  // v44_free_history: how often it ran.
  std::atomic<std::uint32_t> history_frees{0};
  // The data channel's calls: the link flag, the last fallback reason and
  // detection result, and how often each ran.
  std::atomic<std::uint8_t> link_flag{0};
  std::atomic<std::uint32_t> fallbacks{0};
  std::atomic<std::uint8_t> detection_first{0}, detection_second{0};
  std::atomic<std::uint32_t> detection_results{0};
  std::atomic<std::uint32_t> async_rx_resets{0}, async_tx_resets{0};
  std::atomic<std::uint32_t> restart_requests{0};
  std::atomic<std::uint32_t> v42det_ticks{0};
  std::atomic<std::uint8_t> tail_byte{0};
  std::atomic<std::uint32_t> tail_bytes{0};
  std::atomic<std::uint32_t> v80_starts{0};
  std::atomic<std::uint8_t> v80_kick_permit{1};
  std::atomic<std::uint16_t> v80_rx_overruns{0};
  std::atomic<std::uint16_t> v80_hold_countdown{0};
  std::atomic<std::uint8_t> v80_hold{0};
  StandinHandlerCalls async_handler, v80_handler, v42det_handler;
  // async_set_tx_frame: the frame and how often it ran.
  std::atomic<std::uint8_t*> async_tx_frame{nullptr};
  std::atomic<std::uint32_t> async_tx_frames{0};
  // v80_set_state: the last state and how often it ran; what ec_poll
  // answers.
  std::atomic<std::uint8_t> v80_state{0};
  std::atomic<std::uint32_t> v80_state_calls{0};
  std::atomic<std::uint8_t> ec_status{0};
};

}  // namespace vxctl
