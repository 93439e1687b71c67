// The LMS arithmetic one tap at a time: what px and m6 run for every tap,
// what the a6 and w7 kernels run for a last odd tap, and the update of every
// variant when the scaled error does not fit a 16-bit word.
//
// The output takes the high half of each 32-bit tap (a signed 16-bit
// coefficient) times a 16-bit sample; each product is exact in 32 bits and
// the sum wraps modulo 2^32, so the order of summation never matters. The
// update adds the scaled error times the sample to the whole 32-bit tap,
// wrapping as well. Every wrap goes through the unsigned helpers of
// integer_rules.h.
//
// This header and the family's other internal ones (lms_blocks.h,
// lms_setup.h, lms_filter.h) give their code internal linkage: every
// variant's source compiles its own copy under its own flags, so px runs
// loops that were never vectorised rather than whichever copy the linker
// would keep.
#pragma once

#include <cstddef>
#include <cstdint>

#include "siglib/frame/integer_rules.h"
#include "siglib/lms/lms_state.h"

namespace qvls::lms {
namespace {

constexpr std::int32_t HighHalf(std::int32_t tap) { return tap >> 16; }

// The error scaled by the step size: (mu * error + 16384) >> 15, the product
// and the addition wrapping in 32 bits; halves round upward.
constexpr std::int32_t ScaledError(std::int32_t mu, std::int32_t error) {
  return WrapAdd32(WrapMul32(mu, error), 16384) >> 15;
}

// Whether a scaled error fits the 16-bit multiplier of the update kernels,
// which take it beside a zero word (and, complex, its negation).
constexpr bool FitsUpdateKernel(std::int32_t s) { return s >= -32767 && s <= 32767; }

// Sum over n taps of the high half of taps[i] times x[i * step].
inline std::int32_t RealOutputScalar(const std::int32_t* taps, const std::int16_t* x,
                                     std::int32_t n, std::int32_t step) {
  std::int32_t acc = 0;
  for (std::int32_t i = 0; i < n; ++i) {
    acc = WrapAdd32(acc, HighHalf(taps[i]) * x[static_cast<std::ptrdiff_t>(i) * step]);
  }
  return acc;
}

// Sum over n complex taps of tap times sample (no conjugation); taps and
// samples are {re, im} pairs, the samples step pairs apart.
inline qvls_ci32 ComplexOutputScalar(const std::int32_t* taps, const std::int16_t* x,
                                     std::int32_t n, std::int32_t step) {
  qvls_ci32 acc{0, 0};
  for (std::int32_t i = 0; i < n; ++i) {
    const std::int32_t hr = HighHalf(taps[2 * i]);
    const std::int32_t hi = HighHalf(taps[2 * i + 1]);
    const std::int16_t* sample = x + 2 * static_cast<std::ptrdiff_t>(i) * step;
    const std::int32_t xr = sample[0];
    const std::int32_t xi = sample[1];
    acc.re = WrapAdd32(acc.re, WrapSub32(hr * xr, hi * xi));
    acc.im = WrapAdd32(acc.im, WrapAdd32(hi * xr, hr * xi));
  }
  return acc;
}

// taps[i] += s * x[i * step] over n taps.
inline void RealUpdateScalar(std::int32_t* taps, const std::int16_t* x, std::int32_t n,
                             std::int32_t step, std::int32_t s) {
  for (std::int32_t i = 0; i < n; ++i) {
    taps[i] = WrapAdd32(taps[i], WrapMul32(s, x[static_cast<std::ptrdiff_t>(i) * step]));
  }
}

// tap += (a + jb) * conj(x) over n complex taps:
// re += a * xr + b * xi, im += b * xr - a * xi.
inline void ComplexUpdateScalar(std::int32_t* taps, const std::int16_t* x, std::int32_t n,
                                std::int32_t step, std::int32_t a, std::int32_t b) {
  for (std::int32_t i = 0; i < n; ++i) {
    const std::int16_t* sample = x + 2 * static_cast<std::ptrdiff_t>(i) * step;
    const std::int32_t xr = sample[0];
    const std::int32_t xi = sample[1];
    taps[2 * i] = WrapAdd32(taps[2 * i], WrapAdd32(WrapMul32(a, xr), WrapMul32(b, xi)));
    taps[2 * i + 1] = WrapAdd32(taps[2 * i + 1], WrapSub32(WrapMul32(b, xr), WrapMul32(a, xi)));
  }
}

// The same over a whole state's windows.
inline std::int32_t RealOutput(const lms_state& s) {
  return RealOutputScalar(s.taps, SampleAt<Kind::kReal>(s, OutputStart(s)), s.tapsLen, s.delayStep);
}
inline qvls_ci32 ComplexOutput(const lms_state& s) {
  return ComplexOutputScalar(s.taps, SampleAt<Kind::kComplex>(s, OutputStart(s)), s.tapsLen,
                             s.delayStep);
}
inline void RealUpdate(lms_state& s, std::int32_t e) {
  RealUpdateScalar(s.taps, SampleAt<Kind::kReal>(s, UpdateStart(s)), s.tapsLen, s.delayStep, e);
}
inline void ComplexUpdate(lms_state& s, std::int32_t a, std::int32_t b) {
  ComplexUpdateScalar(s.taps, SampleAt<Kind::kComplex>(s, UpdateStart(s)), s.tapsLen, s.delayStep,
                      a, b);
}

}  // namespace
}  // namespace qvls::lms
