// Automatic gain on the receiver's input: a mantissa and an exponent scale
// each part so that the output's averaged power approaches a target (the
// complex baseband path's, or the real tone path's before the start-up
// tone detectors).
#pragma once

#include <cstdint>

#include "pump/v32/baseband.h"

namespace pump::v32 {

inline constexpr std::int32_t kComplexAgcTarget = 0x4000000;
inline constexpr std::int32_t kToneAgcTarget = 0x1000000;  // an rms of 4096

struct Agc {
  std::int32_t mantissa = 0x30000000;  // kept within 0x30000000..0x60000000
  std::int32_t exponent = 3;           // gain = (mantissa >> 16) * 2^(exponent - 15)
  std::int32_t clip = 24000;           // each output part within +-clip
  std::int32_t target = kComplexAgcTarget;
  std::int64_t power = 0;  // average of the output's power, weight 1/16
  std::int32_t rate = 0x4000;
};

// Scales and clips one sample and averages its power.
Complex AgcStep(Agc& agc, Complex x);

// One step of the gain toward the target: the mantissa moves by the
// power's shortfall times the rate, then halves or doubles into its range
// with the exponent following (at most 7, at least -8).
void AgcAdapt(Agc& agc);

}  // namespace pump::v32
