// Block power in steps of about 1 dB, 0 for a full-scale sine.
#pragma once

#include <cstdint>
#include <span>

namespace pump {

// With p the mean square of the block and e = floor(log2 p): 3e - 87 plus
// the two bits of p below its leading one. All zeros give -87, a
// full-scale sine 0, a full-scale constant 3; an empty block gives 0.
int MeasurePowerDb(std::span<const std::int16_t> samples);

}  // namespace pump

namespace pump {

// 10 log10(power) in units of 1/256 dB, from an 11-bit log2 (its fraction
// bits by repeated squaring of the normalised mantissa); 0 and 1 give 0.
// A power above 32 bits keeps its top 32 bits for the fraction.
std::int32_t PowerToDbQ8(std::uint64_t power);

}  // namespace pump
