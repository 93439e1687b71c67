// The connection statistics block, one per machine
// (MachineState<ModemStatisticsBlock>()): the counters of the current or
// last connection that the controller's parts add to. Only the fields that
// built parts write are here; each entry carries its report key.
#pragma once

#include <atomic>
#include <cstdint>

namespace vxctl {

struct ModemStatisticsBlock {
  // 0x52: bytes taken from the application in blocks.
  std::atomic<std::uint32_t> bytes_from_dte{0};
  // 0x53: bytes given to the application in blocks.
  std::atomic<std::uint32_t> bytes_to_dte{0};
  // 0x54: bytes from the application lost when its online ring is emptied.
  std::atomic<std::uint32_t> tx_bytes_lost{0};
};

}  // namespace vxctl
