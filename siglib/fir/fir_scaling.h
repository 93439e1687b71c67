// From a filter sum to a 16-bit output. Sums accumulate modulo 2^32 (each
// product of a 16-bit sample and a prepared tap is exact in 32 bits, and a
// wrapped sum does not depend on the order of the additions, which keeps
// every variant bit-identical). The output is the sum times 2^d, with
// d = taps_factor - sf formed in 32 bits:
//
//   d > 0   shifted left in 32 bits, the bits shifted out lost;
//   d < 0   divided by 2^-d and rounded to nearest, ties to even, exactly
//           (the rounding addition never wraps);
//   then saturated to 16 bits.
//
// The generic variants clamp d to -31..31. The packed variants shift by d
// as it is: 32 or more to the left gives 0, 32 or more to the right the
// sign (0 or -1). That is the only place where the variants differ.
#pragma once

#include <cstdint>

#include "siglib/frame/integer_rules.h"

namespace qvls::fir {

enum class LargeShifts { kClampTo31, kShiftOut };

// The sum and the product through unsigned arithmetic: modulo 2^32.
constexpr std::uint32_t Product(std::int32_t tap, std::int32_t sample) {
  return static_cast<std::uint32_t>(tap) * static_cast<std::uint32_t>(sample);
}

constexpr std::int32_t ScaleExponent(std::int32_t taps_factor, std::int32_t sf) {
  return WrapSub32(taps_factor, sf);
}

// A scale exponent as shift counts: `left` 0..32 or `right` 0..32, where 32
// stands for "every bit shifted out".
struct OutputScale {
  std::int32_t left = 0;
  std::int32_t right = 0;
};

template <LargeShifts kLarge>
constexpr OutputScale OutputScaleFor(std::int32_t d) {
  constexpr std::int32_t kLimit = kLarge == LargeShifts::kClampTo31 ? 31 : 32;
  const std::int32_t e = d > kLimit ? kLimit : (d < -kLimit ? -kLimit : d);
  return e >= 0 ? OutputScale{e, 0} : OutputScale{0, -e};
}

constexpr std::int32_t ScaleSum(std::int32_t sum, OutputScale scale) {
  if (scale.left >= 32) return 0;
  if (scale.left > 0) return WrapShiftLeft32(sum, scale.left);
  if (scale.right >= 32) return sum < 0 ? -1 : 0;
  if (scale.right > 0) return static_cast<std::int32_t>(ScaleDownHalfEven(sum, scale.right));
  return sum;
}

constexpr std::int16_t ScaleOutput(std::uint32_t sum, OutputScale scale) {
  return Saturate16(ScaleSum(static_cast<std::int32_t>(sum), scale));
}

}  // namespace qvls::fir
