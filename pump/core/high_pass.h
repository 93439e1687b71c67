// The two DC-removal filters of the receive paths, run in place over a
// block. Arithmetic is 64-bit inside; the outputs saturate to 16 bits.
#pragma once

#include <cstdint>
#include <span>

namespace pump {

// Second order: per sample c = (x << 14) - 3(a + b), a += (c + 8) >> 4,
// b += (a + 4) >> 3, output c >> 14 rounded. Settled on a constant input X
// it holds a = 0, b = (X << 14) / 3.
struct HighPass2State {
  std::int32_t a;
  std::int32_t b;
};
void HighPass2(HighPass2State& state, std::span<std::int16_t> samples);

// First order with its pole at 1 - 2^-k (k in 0..31): per sample
// c = (x << 14) - ((x << 14) >> (k + 1)) - acc, acc += c >> k rounded,
// output c >> 14. The gain is 1 at half the sample rate.
struct HighPass1State {
  std::int32_t acc;
  std::int32_t k;
};
void HighPass1(HighPass1State& state, std::span<std::int16_t> samples);

}  // namespace pump
