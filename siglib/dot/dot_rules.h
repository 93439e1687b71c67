// What every variant of the dot products shares: the argument checks, the
// single-element products, the scaling of an exact 64-bit sum to 16 or 32
// bits, the scaling and rounding of a floating-point sum, and the entries
// built around a variant's kernel.
//
// The 16-bit products are exact: each is a 32-bit product added, sign-
// extended, into a 64-bit sum (|sum| < 2^61 for any length). The products
// with a 32-bit vector are summed in double precision.
#pragma once

#include <cmath>
#include <cstdint>

#include "siglib/frame/float_rounding.h"
#include "siglib/frame/integer_rules.h"
#include "siglib/frame/types.h"
#include "siglib/frame/unaligned.h"

namespace qvls::dot {

template <class A, class B, class R>
constexpr qvls_status Check(const A* a, const B* b, std::int32_t len, const R* result) {
  if (a == nullptr || b == nullptr || result == nullptr) return QVLS_ERR_NULL_POINTER;
  if (len <= 0) return QVLS_ERR_DATA_SIZE;
  return QVLS_OK;
}

// Elements i of a and b, multiplied exactly.
inline std::int64_t Product(const std::int16_t* a, const std::int16_t* b, std::int32_t i) {
  return std::int32_t{LoadAt(a, i)} * std::int32_t{LoadAt(b, i)};
}

// The products of elements from..to-1, one at a time.
inline std::int64_t SingleProducts(const std::int16_t* a, const std::int16_t* b, std::int32_t from,
                                   std::int32_t to) {
  std::int64_t sum = 0;
  for (std::int32_t i = from; i < to; ++i) sum += Product(a, b, i);
  return sum;
}

// The real and imaginary products of elements from..to-1 of the real vector
// a and the complex vector c, one at a time.
struct ComplexSum {
  std::int64_t re = 0;
  std::int64_t im = 0;
};

inline void AddSingleComplex(const std::int16_t* a, const qvls_ci16* c, std::int32_t from,
                             std::int32_t to, ComplexSum& sum) {
  for (std::int32_t i = from; i < to; ++i) {
    const std::int32_t x = LoadAt(a, i);
    const qvls_ci16 z = LoadAt(c, i);
    sum.re += x * z.re;
    sum.im += x * z.im;
  }
}

// sum plus the products of elements from..to-1, each rounded to double and
// added in element order.
template <class A, class B>
double AddFloatProducts(double sum, const A* a, const B* b, std::int32_t from, std::int32_t to) {
  for (std::int32_t i = from; i < to; ++i) {
    sum += static_cast<double>(LoadAt(a, i)) * static_cast<double>(LoadAt(b, i));
  }
  return sum;
}

// A 64-bit sum times 2^-sf as a 32-bit result. Shifts right by at most 31,
// rounding to nearest with ties to even; shifts left by at most 30 for a sum
// of 0 or more and 31 for a negative one, so a positive sum at sf below -30
// is still only multiplied by 2^30. Saturated.
constexpr std::int32_t ScaleTo32(std::int64_t sum, std::int32_t sf) {
  if (sf == 0) return Saturate32(sum);
  if (sf > 0) return Saturate32(ScaleDownHalfEven(sum, sf > 31 ? 31 : sf));
  const std::int64_t up = -std::int64_t{sf};
  if (sum >= 0) {
    const int n = static_cast<int>(up > 30 ? 30 : up);
    return sum > (std::int64_t{INT32_MAX} >> n) ? INT32_MAX : static_cast<std::int32_t>(sum << n);
  }
  const int n = static_cast<int>(up > 31 ? 31 : up);
  return sum < -(std::int64_t{1} << (31 - n))
             ? INT32_MIN
             : static_cast<std::int32_t>(sum * (std::int64_t{1} << n));
}

// A 64-bit sum times 2^-sf as a 16-bit result: sf limited to -14 .. 31, and
// the scaling applied to the sum saturated to 32 bits first.
constexpr std::int16_t ScaleTo16(std::int64_t sum, std::int32_t sf) {
  const int n = sf > 31 ? 31 : (sf < -14 ? -14 : sf);
  const std::int32_t v = Saturate32(sum);
  if (n == 0) return Saturate16(v);
  if (n > 0) return Saturate16(ScaleDownHalfEven(v, n));
  if (v < (-32768 >> -n)) return INT16_MIN;
  if (v > (32767 >> -n)) return INT16_MAX;
  return static_cast<std::int16_t>(v * (1 << -n));
}

// A floating-point sum times 2^-sf (sf limited to -31 .. 31, the factor an
// exact power of two), limited to the 32-bit range and rounded to the
// nearest integer with ties to even whatever rounding mode is in force.
inline std::int32_t FloatSumTo32(double sum, std::int32_t sf) {
  const int n = sf > 31 ? 31 : (sf < -31 ? -31 : sf);
  double y = sum * std::ldexp(1.0, -n);
  if (y > 2147483647.0) y = 2147483647.0;
  if (y < -2147483648.0) y = -2147483648.0;
  return static_cast<std::int32_t>(RoundHalfEven(y));
}

// The entries around a variant's kernel, which returns the exact sum (the
// complex kernel both sums) of `len` products, len >= 1.
using ExactSumKernel = std::int64_t(const std::int16_t* a, const std::int16_t* b, std::int32_t len);
using ComplexSumKernel = ComplexSum(const std::int16_t* a, const qvls_ci16* c, std::int32_t len);

template <ExactSumKernel Kernel>
qvls_status Dot16(const std::int16_t* a, const std::int16_t* b, std::int32_t len,
                  std::int16_t* result, std::int32_t sf) {
  if (const qvls_status status = Check(a, b, len, result); status != QVLS_OK) return status;
  *result = ScaleTo16(Kernel(a, b, len), sf);
  return QVLS_OK;
}

template <ExactSumKernel Kernel>
qvls_status Dot32(const std::int16_t* a, const std::int16_t* b, std::int32_t len,
                  std::int32_t* result, std::int32_t sf) {
  if (const qvls_status status = Check(a, b, len, result); status != QVLS_OK) return status;
  *result = ScaleTo32(Kernel(a, b, len), sf);
  return QVLS_OK;
}

template <ComplexSumKernel Kernel>
qvls_status DotComplex(const std::int16_t* a, const qvls_ci16* c, std::int32_t len,
                       qvls_ci32* result, std::int32_t sf) {
  if (const qvls_status status = Check(a, c, len, result); status != QVLS_OK) return status;
  const ComplexSum sum = Kernel(a, c, len);
  *result = {ScaleTo32(sum.re, sf), ScaleTo32(sum.im, sf)};
  return QVLS_OK;
}

template <class A, class B, double Kernel(const A*, const B*, std::int32_t)>
qvls_status DotFloat(const A* a, const B* b, std::int32_t len, std::int32_t* result,
                     std::int32_t sf) {
  if (const qvls_status status = Check(a, b, len, result); status != QVLS_OK) return status;
  *result = FloatSumTo32(Kernel(a, b, len), sf);
  return QVLS_OK;
}

}  // namespace qvls::dot
