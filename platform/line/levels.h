// Levels on the line: a full-scale sine (peak 32767) is +3.14 dBm0.
#pragma once

#include <cmath>
#include <cstdint>

#include "platform/line/det_math.h"

namespace plat::line {

inline constexpr double kFullScale = 32767.0;
inline constexpr double kFullScaleDbm0 = 3.14;

// The peak of a sine at `dbm0`.
inline double SinePeak(double dbm0) { return kFullScale * DbToAmplitude(dbm0 - kFullScaleDbm0); }

// The RMS value of any signal at `dbm0`.
inline double RmsAt(double dbm0) { return SinePeak(dbm0) * 0.70710678118654752440; }

// sin(2 pi hz n / 8000): a tone at line sample n of its own count, the phase
// reduced exactly to one turn, so every end's tones have the same bits.
inline double ToneAt(double hz, std::int64_t n) {
  const double cycles_x8000 = std::fmod(hz * static_cast<double>(n), 8000.0);
  return SinPi(cycles_x8000 / 4000.0);
}

}  // namespace plat::line
