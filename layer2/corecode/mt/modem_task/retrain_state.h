// The retrain, renegotiation and line-quality state, one per machine
// (MachineState<RetrainState>()). Fields join as that part is built.
#pragma once

#include <atomic>
#include <cstdint>

namespace vxctl {

inline constexpr std::uint16_t kPeerRateWordReset = 0x9FF0;

struct RetrainState {
  // The V.32/V.32bis rate signal the peer sent, from the data pump's
  // connect-rate report (block thread).
  std::atomic<std::uint16_t> peer_rate_word{kPeerRateWordReset};
};

}  // namespace vxctl
