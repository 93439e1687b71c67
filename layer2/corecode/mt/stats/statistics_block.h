// The connection statistics block, one per machine
// (MachineState<ModemStatisticsBlock>()): the counters of the current or
// last connection that the controller's parts add to. Only the fields that
// built parts write are here; each entry carries its report key.
#pragma once

#include <atomic>
#include <cstdint>

namespace vxctl {

struct ModemStatisticsBlock {
  // 0x01: the call's progress through dialling, answering and V.8 (8: the
  // V.8 receiver saw the peer's idle 0x00 octets).
  std::atomic<std::uint8_t> call_progress{0};
  // 0x52: bytes taken from the application in blocks.
  std::atomic<std::uint32_t> bytes_from_dte{0};
  // 0x53: bytes given to the application in blocks.
  std::atomic<std::uint32_t> bytes_to_dte{0};
  // 0x54: bytes from the application lost when its online ring is emptied,
  // or when the line transmit ring is full.
  std::atomic<std::uint32_t> tx_bytes_lost{0};
  // 0x55: bytes from the line lost on a full line receive ring.
  std::atomic<std::uint32_t> rx_bytes_lost{0};
  // Bytes moved between the line rings and the data mailboxes in the voice
  // and fax page modes.
  std::atomic<std::uint32_t> line_bytes_sent{0};
  std::atomic<std::uint32_t> line_bytes_received{0};
  // The V.80 mode of the data format: 0 none, 1 transparent, 2 framed.
  std::atomic<std::uint8_t> v80_mode{0};
};

}  // namespace vxctl
