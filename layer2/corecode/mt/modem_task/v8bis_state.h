// The V.8bis exchange's state, one per machine (MachineState<V8bisState>()).
// Fields join as the exchange is built.
#pragma once

#include <atomic>
#include <cstdint>

namespace vxctl {

inline constexpr std::int32_t kNoToneResult = -1;
// Flags: bit 1 the exchange is active (the modem task's step runs it).
inline constexpr std::uint16_t kV8bisActive = 1u << 1;

struct V8bisState {
  // The tone the data pump's classifier reported (0-7), kNoToneResult when
  // none waits; set on the data pump's block thread.
  std::atomic<std::int32_t> pending_tone_result{kNoToneResult};
  std::atomic<std::uint16_t> flags{0};
  // 10 ms ticks, counted down to 0.
  std::atomic<std::uint16_t> timer{0};
};

}  // namespace vxctl
