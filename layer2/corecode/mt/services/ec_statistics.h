// The error-control statistics record (14 bytes) that the link protocols
// fill for the command interpreter's reports and the statistics block.
#pragma once

#include <cstdint>

namespace vxctl {

struct EcStatistics {
  std::uint8_t link_flag = 0;
  // 0 none; 1-3 V.42bis, 4-6 V.44, 7 and up MNP class 5.
  std::uint8_t compression = 0;
  std::uint8_t block_size[2] = {};  // little-endian
  std::uint8_t error_count = 0;
  std::uint8_t frames_received = 0;
  std::uint8_t frames_in_error = 0;
  std::uint8_t mnp_status = 0;
  std::uint8_t mnp_link_status = 0;
  std::uint8_t reserved_9 = 0;
  std::uint8_t pending = 0;  // bit 0 data to send or acknowledge, bit 1 received data waiting
  std::uint8_t protocol = 0;
  std::uint8_t retries = 0;
  std::uint8_t reserved_13 = 0;
};
static_assert(sizeof(EcStatistics) == 14);

}  // namespace vxctl
