// The V.92 modem-on-hold sequencer's state, one per machine
// (MachineState<ModemOnHoldState>()). Fields join as the sequencer is built.
#pragma once

#include <atomic>
#include <cstdint>

namespace vxctl {

// V.92 status bit 7: a hold is in progress (the retrain timer stops).
inline constexpr std::uint16_t kMohInProgress = 1u << 7;

struct ModemOnHoldState {
  // Bit n is set by a V.92 report of type n (block thread); the sequencer
  // reads and clears bits on the task thread.
  std::atomic<std::uint16_t> v92_status{0};
  // The value of the last type-0 report (a hold request): low 4 bits the
  // kind, high 4 bits a hold-time code.
  std::atomic<std::uint8_t> request_value{0};
};

}  // namespace vxctl
