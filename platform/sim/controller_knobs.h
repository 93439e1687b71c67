// Faults a test may give the controller. Knobs that move the interrupt line
// in time (storm, stall, spurious status) are Controller methods instead.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "platform/sim/registers.h"

namespace plat::sim {

struct LoopbackKnobs {
  std::optional<unsigned> delay;  // samples, in place of the loopback's own; at most 255
  double gain = 1.0;
  std::uint32_t noise_amplitude = 0;  // peak of uniform noise added
  std::uint64_t noise_seed = 1;
  bool all_zero = false;  // nothing comes back
};

struct ControllerKnobs {
  // Bits that CPU reads see as 1 / as 0, whatever the register holds.
  std::array<std::uint8_t, reg::kCount> force_ones{};
  std::array<std::uint8_t, reg::kCount> force_zeros{};
  bool busy_stuck = false;   // register 6 bit 7 always reads 1
  bool never_ready = false;  // register 60 bit 6 never sets; samples stay zero
  LoopbackKnobs loopback;
  std::uint32_t receive_skew = 0;      // ticks the receive engine starts after the transmit one
  bool master_abort_expected = false;  // else a master abort is fatal

  void ForceByte(std::uint32_t offset, std::uint8_t ones, std::uint8_t zeros) {
    force_ones[offset] = ones;
    force_zeros[offset] = zeros;
  }
  void ForceDword(std::uint32_t offset, std::uint32_t ones, std::uint32_t zeros) {
    for (std::uint32_t i = 0; i < 4; ++i) {
      ForceByte(offset + i, static_cast<std::uint8_t>(ones >> 8 * i),
                static_cast<std::uint8_t>(zeros >> 8 * i));
    }
  }
};

}  // namespace plat::sim
