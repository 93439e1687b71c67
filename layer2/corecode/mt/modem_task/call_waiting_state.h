// The call-waiting detector's state, one per machine
// (MachineState<CallWaitingState>()). Fields join as the detector is built.
#pragma once

#include <atomic>
#include <cstdint>

namespace vxctl {

// Flags: the confirmed phase (the retrain timer stops while it is set) and
// a caller ID waiting to be reported.
inline constexpr std::uint8_t kCallWaitingConfirmed = 1u << 0;
inline constexpr std::uint8_t kCallWaitingCidPending = 1u << 1;
inline constexpr std::uint8_t kCallWaitingToneMonitor = 1u << 3;
// A waiting call's tone was seen: the line is judged fair meanwhile.
inline constexpr std::uint8_t kCallWaitingToneSeen = 1u << 5;

// The detector's state while armed and waiting for a tone.
inline constexpr std::uint8_t kCallWaitingArmed = 8;

struct CallWaitingState {
  std::atomic<std::uint8_t> state{0};
  std::atomic<std::uint8_t> flags{0};
  // The detector's timer (10 ms ticks, counted down to 0) and its duration
  // counter, which the 10 ms tick advances and the detector resets (it may
  // set it below 0 to wait).
  std::atomic<std::uint16_t> timer{0};
  std::atomic<std::int32_t> ticks{0};
};

}  // namespace vxctl
