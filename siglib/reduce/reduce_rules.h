// What every variant of the sum, mean and norms shares: the argument checks,
// the single-element steps, the split of the absolute-value norms into
// chunks of 65536 elements, and the scaling of each result.
//
// Every sum is exact: a 32-bit partial sum never covers more than 65536
// elements (65536 * 32768 = 2^31 fits the signed sums and the unsigned
// absolute values), and the totals are 64-bit.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "siglib/frame/float_rounding.h"
#include "siglib/frame/integer_rules.h"
#include "siglib/frame/types.h"
#include "siglib/frame/unaligned.h"

namespace qvls::reduce {

inline constexpr std::int32_t kChunk = 65536;

constexpr qvls_status Check(const void* src, std::int32_t len, const void* result) {
  if (src == nullptr || result == nullptr) return QVLS_ERR_NULL_POINTER;
  if (len <= 0) return QVLS_ERR_DATA_SIZE;
  return QVLS_OK;
}

constexpr qvls_status Check(const void* a, const void* b, std::int32_t len, const void* result) {
  return b == nullptr ? QVLS_ERR_NULL_POINTER : Check(a, len, result);
}

// ---- single elements --------------------------------------------------------

inline std::uint32_t AbsAt(const std::int16_t* p, std::int32_t i) {
  const std::int32_t x = LoadAt(p, i);
  return static_cast<std::uint32_t>(x < 0 ? -x : x);
}

inline std::uint32_t AbsDiffAt(const std::int16_t* a, const std::int16_t* b, std::int32_t i) {
  const std::int32_t d = std::int32_t{LoadAt(a, i)} - std::int32_t{LoadAt(b, i)};
  return static_cast<std::uint32_t>(d < 0 ? -d : d);
}

inline std::uint64_t SquareAt(const std::int16_t* p, std::int32_t i) {
  const std::int32_t x = LoadAt(p, i);
  return static_cast<std::uint32_t>(x * x);
}

// The sum of f(i) for i in from..to-1.
template <class T, class F>
T SumOver(std::int32_t from, std::int32_t to, F f) {
  T sum = 0;
  for (std::int32_t i = from; i < to; ++i) sum += f(i);
  return sum;
}

inline std::int64_t SingleSum(const std::int16_t* p, std::int32_t from, std::int32_t to) {
  return SumOver<std::int64_t>(from, to, [p](std::int32_t i) { return LoadAt(p, i); });
}

// The absolute-value norms: kernel(offset, count) sums at most 65536
// absolute values into 32 unsigned bits; the chunks add up in 64 bits.
template <class Kernel>
std::uint64_t InChunks(std::int32_t len, Kernel kernel) {
  std::uint64_t total = 0;
  for (std::int32_t done = 0; done < len; done += kChunk) {
    const std::int32_t count = len - done < kChunk ? len - done : kChunk;
    total += kernel(done, count);
  }
  return total;
}

// ---- scaling ------------------------------------------------------------------

// The sum times 2^-sf, rounded to nearest with ties to even, saturated.
// |s| < 2^46, so every sf from 47 up gives 0; every non-zero s from sf -32
// down saturates.
constexpr std::int32_t ScaleSum(std::int64_t s, std::int32_t sf) {
  if (sf > 0) return Saturate32(ScaleDownHalfEven(s, sf < 47 ? sf : 47));
  const std::int64_t n = -std::int64_t{sf};
  if (s == 0 || n == 0) return Saturate32(s);
  if (n >= 32) return s > 0 ? INT32_MAX : INT32_MIN;
  if (s > (std::int64_t{INT32_MAX} >> n)) return INT32_MAX;
  if (s < (std::int64_t{INT32_MIN} >> n)) return INT32_MIN;
  return static_cast<std::int32_t>(s * (std::int64_t{1} << n));
}

// The scale factors at which every further step changes nothing (kept in
// the floating-point scalings, which would otherwise take one step per unit
// of sf): from 47 up every sum lies within (-0.5, 0.5) and from -32 down every
// non-zero sum saturates; from 16 up every mean lies within [-0.5, 0.5] and
// from -47 down every non-zero mean saturates, whatever the length.
constexpr std::int32_t ClampSumScale(std::int32_t sf) {
  return sf > 47 ? 47 : (sf < -32 ? -32 : sf);
}
constexpr std::int32_t ClampMeanScale(std::int32_t sf) {
  return sf > 16 ? 16 : (sf < -47 ? -47 : sf);
}

// The mean's quotient s * 2^-sf / len in double precision: the scalings are
// exact, the division is the one rounding.
inline double MeanQuotient(double s, std::int32_t len, std::int32_t sf) {
  return std::ldexp(s, -ClampMeanScale(sf)) / static_cast<double>(len);
}

// A double limited to [lo, hi], so that its conversion to an integer by any
// rounding gives the saturated result.
inline double Limit(double y, double lo, double hi) { return y > hi ? hi : (y < lo ? lo : y); }

// An unsigned norm times 2^-sf, truncated, saturated at 2147483647.
constexpr std::int32_t ScaleNorm(std::uint64_t s, std::int32_t sf) {
  std::uint64_t r = s;
  if (sf > 0) {
    r = sf < 64 ? s >> sf : 0;
  } else if (sf < 0 && s != 0) {
    const std::int64_t n = -std::int64_t{sf};
    r = n >= 32 || s > (std::uint64_t{INT32_MAX} >> n) ? INT32_MAX : s << n;
  }
  return r > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(r);
}

// The Euclidean length from the exact sum of squares: the root in extended
// precision rounded once to double, scaled by an exact power of two and
// truncated. Rounding the root to double can carry a Q of 2^52 or more just
// below a perfect square up to that square's root; every variant shares this
// step, and so the result.
inline std::int32_t NormL2FromSquares(std::uint64_t q, std::int32_t sf) {
  const auto root = static_cast<double>(std::sqrt(static_cast<long double>(q)));
  const double r = std::ldexp(root, -(sf > 64 ? 64 : (sf < -64 ? -64 : sf)));
  return r > 2147483647.0 ? INT32_MAX : static_cast<std::int32_t>(r);
}

// The largest magnitude among lanes that tracked their signed minimum and
// maximum, and `best`; a lane whose minimum lies above its maximum saw no
// element.
template <std::size_t kLanes>
std::uint32_t LargestOfLanes(const std::int16_t (&lows)[kLanes],
                             const std::int16_t (&highs)[kLanes], std::uint32_t best) {
  for (std::size_t k = 0; k < kLanes; ++k) {
    const std::int32_t lo = lows[k];
    const std::int32_t hi = highs[k];
    if (lo > hi) continue;
    const auto m = static_cast<std::uint32_t>(-lo > hi ? -lo : hi);
    best = m > best ? m : best;
  }
  return best;
}

// ---- entries around a variant's kernels -------------------------------------

template <std::int64_t Kernel(const std::int16_t*, std::int32_t)>
qvls_status Sum(const std::int16_t* src, std::int32_t len, std::int32_t* result, std::int32_t sf) {
  if (const qvls_status status = Check(src, len, result); status != QVLS_OK) return status;
  *result = ScaleSum(Kernel(src, len), sf);
  return QVLS_OK;
}

template <std::uint32_t Kernel(const std::int16_t*, std::int32_t)>
qvls_status NormInf(const std::int16_t* src, std::int32_t len, std::int32_t* result,
                    std::int32_t sf) {
  if (const qvls_status status = Check(src, len, result); status != QVLS_OK) return status;
  *result = ScaleNorm(Kernel(src, len), sf);
  return QVLS_OK;
}

template <std::uint32_t Kernel(const std::int16_t*, std::int32_t)>
qvls_status NormL1(const std::int16_t* src, std::int32_t len, std::int32_t* result,
                   std::int32_t sf) {
  if (const qvls_status status = Check(src, len, result); status != QVLS_OK) return status;
  const std::uint64_t s =
      InChunks(len, [src](std::int32_t at, std::int32_t count) { return Kernel(src + at, count); });
  *result = ScaleNorm(s, sf);
  return QVLS_OK;
}

template <std::uint64_t Kernel(const std::int16_t*, std::int32_t)>
qvls_status NormL2(const std::int16_t* src, std::int32_t len, std::int32_t* result,
                   std::int32_t sf) {
  if (const qvls_status status = Check(src, len, result); status != QVLS_OK) return status;
  *result = NormL2FromSquares(Kernel(src, len), sf);
  return QVLS_OK;
}

template <std::uint32_t Kernel(const std::int16_t*, const std::int16_t*, std::int32_t)>
qvls_status DiffNormL1(const std::int16_t* a, const std::int16_t* b, std::int32_t len,
                       std::int32_t* result, std::int32_t sf) {
  if (const qvls_status status = Check(a, b, len, result); status != QVLS_OK) return status;
  const std::uint64_t s = InChunks(
      len, [a, b](std::int32_t at, std::int32_t count) { return Kernel(a + at, b + at, count); });
  *result = ScaleNorm(s, sf);
  return QVLS_OK;
}

}  // namespace qvls::reduce

// The four norm entries of one variant (tag px, m6, a6 or w7) over its kernels.
#define QVLS_DEFINE_NORM_ENTRIES(tag, largest_abs, abs_sum, squares, abs_diff_sum)           \
  qvls_status qvlsNormInf_i16toi32_sc_##tag(const std::int16_t* src, std::int32_t len,       \
                                            std::int32_t* result, std::int32_t sf) {         \
    return qvls::reduce::NormInf<largest_abs>(src, len, result, sf);                         \
  }                                                                                          \
  qvls_status qvlsNormL1_i16toi32_sc_##tag(const std::int16_t* src, std::int32_t len,        \
                                           std::int32_t* result, std::int32_t sf) {          \
    return qvls::reduce::NormL1<abs_sum>(src, len, result, sf);                              \
  }                                                                                          \
  qvls_status qvlsNormL2_i16toi32_sc_##tag(const std::int16_t* src, std::int32_t len,        \
                                           std::int32_t* result, std::int32_t sf) {          \
    return qvls::reduce::NormL2<squares>(src, len, result, sf);                              \
  }                                                                                          \
  qvls_status qvlsDiffNormL1_i16toi32_sc_##tag(const std::int16_t* a, const std::int16_t* b, \
                                               std::int32_t len, std::int32_t* result,       \
                                               std::int32_t sf) {                            \
    return qvls::reduce::DiffNormL1<abs_diff_sum>(a, b, len, result, sf);                    \
  }
