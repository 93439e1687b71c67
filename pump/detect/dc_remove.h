// The DC-removal filter of the receive front end: a second-order high pass
// whose pass band gain is one half (the AGC behind it takes up the level).
#pragma once

#include <cstdint>
#include <span>

namespace pump {

struct DcRemovalState {
  std::int32_t a;
  std::int32_t b;
};

// One sample: t := (5461 x - a - b) 3; a += t >> 4; b += a >> 3; t >> 15.
// A constant input decays to 0.
std::int32_t DcRemove(DcRemovalState& state, std::int32_t x);

// The filter over a block of 16-bit samples, in place (the idle block's DC
// removal).
void RemoveDc(DcRemovalState& state, std::span<std::int16_t> samples);

}  // namespace pump
