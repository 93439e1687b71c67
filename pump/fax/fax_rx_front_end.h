// The fax receiver's front end: DC removal, demodulation to complex
// baseband, the three-point interpolation at the timing phase, the matched
// filter and the gain step.
#pragma once

#include <cstdint>
#include <span>

#include "pump/fax/fax_rx_record.h"

namespace pump {

// One sample through the unit-gain DC filter.
std::int16_t FaxDcRemove(FaxDcState& state, std::int16_t x);

// Appends the block's samples, turned to baseband, behind the unread ones:
// s = I cos wt - Q sin wt gives (I, Q) / 2 plus an image at twice the
// carrier that the matched filter removes.
void FaxDemodulate(FaxRxRecord& rx, std::span<const std::int16_t> samples);

// The sample between x[k] and x[k + 1] at mu = phase / 2^30 (0 <= mu < 1),
// by the three-point quadratic rule centred half a sample before k + mu.
std::int32_t FaxInterpolate(std::int32_t before, std::int32_t at, std::int32_t after, std::int32_t phase);

// The matched filter's output over the 32 newest interpolated samples, at
// the full scale of the products (the gain step's shift brings it down).
struct FaxComplex {
  std::int32_t i;
  std::int32_t q;
};
FaxComplex FaxMatchedFilter(const FaxRxRecord& rx);
// Adds one interpolated sample to the matched filter's history.
void FaxPushInterpolated(FaxRxRecord& rx, std::int32_t i, std::int32_t q);

// The gain step over a symbol's two half-symbol samples, in place; keeps
// the level average, the post-gain magnitude and the level in dB.
void FaxGainStep(FaxRxRecord& rx, FaxComplex (&pair)[2]);

// The level in dB from the gain's shift and mantissa.
std::int16_t FaxLevelDb(std::int32_t shift, std::int32_t mantissa, std::int16_t receive_gain);

inline constexpr std::int32_t kFaxGainUnity = 0x20000000;

}  // namespace pump
