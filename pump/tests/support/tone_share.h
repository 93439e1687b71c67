// The share of a block's power at one frequency, for tests that check a
// tone arrived at the rate it should.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <span>

namespace pump::testing {

// Power of `samples` at `hz` (Goertzel), over the power a full-scale sine
// of the block's energy would give there: about 1 for a pure tone at `hz`.
inline double ToneShare(std::span<const std::int16_t> samples, double hz, double rate) {
  const double coefficient = 2 * std::cos(2 * std::numbers::pi * hz / rate);
  double s1 = 0, s2 = 0, energy = 0;
  for (const std::int16_t x : samples) {
    const double s0 = x + coefficient * s1 - s2;
    s2 = s1;
    s1 = s0;
    energy += static_cast<double>(x) * x;
  }
  const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
  return energy == 0 ? 0 : power / (energy * static_cast<double>(samples.size()) / 2);
}

}  // namespace pump::testing
