// The shift of the 16-bit transforms' rounding shift into 16 bits.
#pragma once

#include <algorithm>
#include <cstdint>

namespace qvls::transforms {

// s computed in 64 bits and clamped to -32..40: beyond that range every
// value gives the same result (0, or saturation), so any caller's sf is safe.
constexpr std::int32_t ClampedShift(std::int64_t s) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(s, -32, 40));
}

}  // namespace qvls::transforms
