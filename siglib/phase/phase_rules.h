// The phase of complex elements as every variant applies it: the argument
// checks, the scale, the reference angle in double precision, the exact
// whole-radian angle of the a6 and w7 tails, and the px and m6 entry.
//
// Rule: element (re, im) becomes its angle theta in (-pi, pi] times 2^-sf,
// rounded and limited to 16 bits; for sf = 0 a coarse first-order angle
// stands in for theta (see the variants).
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>

#include "siglib/frame/float_rounding.h"
#include "siglib/frame/types.h"
#include "siglib/frame/unaligned.h"

namespace qvls::phase {

constexpr qvls_status Check(const qvls_ci16* src, const std::int16_t* dst, std::int32_t len) {
  if (src == nullptr || dst == nullptr) return QVLS_ERR_NULL_POINTER;
  if (len <= 0) return QVLS_ERR_DATA_SIZE;
  return QVLS_OK;
}

// Scale factors below -64 give the results of -64: every nonzero angle
// saturates there already. The clamp keeps 2^-sf finite (from -1024 down it
// would be infinite, and a zero angle times it not a number).
inline constexpr std::int32_t kLowestScale = -64;

inline double ScaleOf(std::int32_t sf) {
  return std::ldexp(1.0, sf < kLowestScale ? -kLowestScale : -sf);
}

// The coarse angle of the px and m6 variants is evaluated in double
// precision with these constants (see lanes::Coarse for the formula).
inline constexpr double kQuarterPi = std::numbers::pi / 4;
inline constexpr double kThreeQuarterPi = 3 * std::numbers::pi / 4;
inline constexpr double kTiny = 1e-10;

// The reference result: the double-precision angle times the scale, rounded
// half away from zero and saturated.
inline std::int16_t ReferenceResult(qvls_ci16 z, double scale) {
  const double v = std::atan2(static_cast<double>(z.im), static_cast<double>(z.re)) * scale;
  if (v > 32767.0) return 32767;
  if (v < -32768.0) return -32768;
  return static_cast<std::int16_t>(RoundHalfAway(v));
}

// The exact angle in whole radians, ties to even: the a6 and w7 coarse path
// for the last len mod 4 elements. The imaginary axis and the origin give
// what the four-lane kernel gives there.
inline std::int16_t WholeRadians(qvls_ci16 z) {
  if (z.re == 0) return static_cast<std::int16_t>(z.im == 0 ? 0 : (z.im > 0 ? 2 : -2));
  return static_cast<std::int16_t>(
      RoundHalfEven(std::atan2(static_cast<double>(z.im), static_cast<double>(z.re))));
}

// The px and m6 entry: reference(z, scale) for every element when sf != 0,
// coarse(z) when sf = 0.
template <class Reference, class Coarse>
qvls_status RunElementwise(const qvls_ci16* src, std::int16_t* dst, std::int32_t len,
                           std::int32_t sf, Reference&& reference, Coarse&& coarse) {
  if (const qvls_status status = Check(src, dst, len); status != QVLS_OK) return status;
  if (sf != 0) {
    const double scale = ScaleOf(sf);
    for (std::int32_t i = 0; i < len; ++i) StoreAt(dst, i, reference(LoadAt(src, i), scale));
  } else {
    for (std::int32_t i = 0; i < len; ++i) StoreAt(dst, i, coarse(LoadAt(src, i)));
  }
  return QVLS_OK;
}

}  // namespace qvls::phase
