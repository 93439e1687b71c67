// Saturation of wide intermediate values into the detectors' 32-bit states
// and 16-bit samples.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace pump {

constexpr std::int32_t Saturate32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

constexpr std::int16_t Saturate16(std::int64_t v) {
  return static_cast<std::int16_t>(std::clamp<std::int64_t>(
      v, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

}  // namespace pump
