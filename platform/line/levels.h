// Levels on the line: a full-scale sine (peak 32767) is +3.14 dBm0.
#pragma once

#include "platform/line/det_math.h"

namespace plat::line {

inline constexpr double kFullScale = 32767.0;
inline constexpr double kFullScaleDbm0 = 3.14;

// The peak of a sine at `dbm0`.
inline double SinePeak(double dbm0) { return kFullScale * DbToAmplitude(dbm0 - kFullScaleDbm0); }

// The RMS value of any signal at `dbm0`.
inline double RmsAt(double dbm0) { return SinePeak(dbm0) * 0.70710678118654752440; }

}  // namespace plat::line
