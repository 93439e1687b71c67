#include "pump/detect/dc_remove.h"

#include "pump/detect/saturate.h"

namespace pump {

std::int32_t DcRemove(DcRemovalState& state, std::int32_t x) {
  // In 64 bits: a full-scale step drives t past what 32 bits hold, and the
  // states are held at the 32-bit range rather than wrapped.
  const std::int64_t t = (std::int64_t{x} * 5461 - state.a - state.b) * 3;
  state.a = Saturate32(state.a + (t >> 4));
  state.b = Saturate32(std::int64_t{state.b} + (state.a >> 3));
  return Saturate32(t >> 15);
}

void RemoveDc(DcRemovalState& state, std::span<std::int16_t> samples) {
  for (std::int16_t& sample : samples) sample = Saturate16(DcRemove(state, sample));
}

}  // namespace pump
