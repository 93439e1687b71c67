// Stands in for the HDLC frame sources of the link protocols (MNP, LAPM)
// and of fax until they are built: small queues of frames that tests fill
// and read (MachineState<FrameSourcesStandin>()).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

namespace vxctl {

struct FrameSourcesStandin {
  static constexpr std::size_t kBufferSize = 300;
  using Buffer = std::array<std::uint8_t, kBufferSize>;
  enum Source { kMnp, kLapm, kFax, kSources };

  // Frames to send, as their buffers (layout included); a taken frame
  // stays in `sending` while the data channel reads it.
  std::array<std::deque<std::vector<std::uint8_t>>, kSources> to_send;
  std::array<std::vector<std::uint8_t>, kSources> sending;
  // Receive buffers handed out, oldest first (the last is being filled),
  // and how many more may be handed out.
  std::array<std::deque<Buffer>, kSources> received;
  std::array<std::uint32_t, kSources> buffers_left{};
  // The statuses the receive sources were given, and the LAPM field.
  std::vector<std::uint8_t> end_statuses;
  std::vector<std::uint8_t> lapm_bad_fields;
};

}  // namespace vxctl
