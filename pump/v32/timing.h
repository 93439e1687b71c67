// Symbol timing: a cubic interpolator over nine baseband samples that
// yields the signal at any instant between them, and the stepping of that
// instant from sample to sample (0, 1 or 2 outputs per input sample as the
// spacing of outputs is longer or shorter than a sample).
#pragma once

#include <array>
#include <cstdint>

#include "pump/v32/baseband.h"

namespace pump::v32 {

// 9-tap filters (oldest sample first) giving the first, half the second and
// twice the third derivative's Taylor terms around the middle sample.
inline constexpr std::array<std::int32_t, 9> kSlopeTaps = {354, -2232, 8417, -27882, 0, 27882, -8417, 2232, -354};
inline constexpr std::array<std::int32_t, 9> kCurveTaps = {0, 8, -532, 10478, -19908, 10478, -532, 8, 0};
inline constexpr std::array<std::int32_t, 9> kCubicTaps = {-1430, 6151, -19656, 25617, 0, -25617, 19657, -6151, 1430};

// The value at mu samples after the middle of the nine (history oldest
// first), mu in Q15 within about -0.5..0.5.
Complex Interpolate(const std::array<Complex, 9>& history, std::int32_t mu);

// One sample is 2^32 in the timing values.
inline constexpr std::int64_t kTimingOne = std::int64_t{1} << 32;
// The receiver's outputs come half a symbol apart (a symbol is three samples).
inline constexpr std::int64_t kHalfSymbol = kTimingOne * 3 / 2;

struct TimingInstant {
  std::array<Complex, 9> history{};  // oldest first
  std::int64_t instant = 0;          // the next output's time after the middle sample
  std::int64_t step = kHalfSymbol;    // between outputs
};

// The outputs the sample yields: 0, 1 or 2 (written to `out`).
int TimingStep(TimingInstant& t, Complex sample, Complex out[2]);

}  // namespace pump::v32
