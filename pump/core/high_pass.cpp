#include "pump/core/high_pass.h"

#include <algorithm>

namespace pump {
namespace {

std::int16_t Saturate16(std::int64_t v) {
  return static_cast<std::int16_t>(std::clamp<std::int64_t>(v, INT16_MIN, INT16_MAX));
}

}  // namespace

void HighPass2(HighPass2State& state, std::span<std::int16_t> samples) {
  std::int64_t a = state.a;
  std::int64_t b = state.b;
  for (std::int16_t& x : samples) {
    const std::int64_t c = (std::int64_t{x} << 14) - 3 * (a + b);
    a += (c + 8) >> 4;
    b += (a + 4) >> 3;
    x = Saturate16((c + (1 << 13)) >> 14);
  }
  // Within 32 bits for any input from a settled state; a wild start state
  // wraps rather than overflows.
  state.a = static_cast<std::int32_t>(a);
  state.b = static_cast<std::int32_t>(b);
}

void HighPass1(HighPass1State& state, std::span<std::int16_t> samples) {
  const int k = std::clamp(state.k, 0, 31);
  const std::int64_t half = (std::int64_t{1} << k) >> 1;
  std::int64_t acc = state.acc;
  for (std::int16_t& x : samples) {
    const std::int64_t wide = std::int64_t{x} << 14;
    const std::int64_t c = wide - (wide >> (k + 1)) - acc;
    acc += (c + half) >> k;
    x = Saturate16(c >> 14);
  }
  state.acc = static_cast<std::int32_t>(acc);
}

}  // namespace pump
