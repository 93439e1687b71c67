// The w7 square-root kernel for sf -14 .. 8: groups of eight elements in one
// 128-bit register, their roots in two four-lane single-precision halves. A
// template on the estimator (see sqrt_estimate.h); the variant's entry runs
// it with the processor's.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "siglib/sqrt/sqrt_estimate.h"
#include "siglib/sqrt/sqrt_groups.h"

namespace qvls::sqrt::w7 {

// Eight lanes 0 .. 32767 (or 32-bit halves of them) as single precision.
inline __m128 LowToFloat(__m128i x) {
  return _mm_cvtepi32_ps(_mm_unpacklo_epi16(x, _mm_setzero_si128()));
}
inline __m128 HighToFloat(__m128i x) {
  return _mm_cvtepi32_ps(_mm_unpackhi_epi16(x, _mm_setzero_si128()));
}

// The truncated roots of eight lanes as 16-bit values (saturated at 32767).
inline __m128i TruncateToI16(__m128 lo, __m128 hi) {
  return _mm_packs_epi32(_mm_cvttps_epi32(lo), _mm_cvttps_epi32(hi));
}

// Four 32-bit lanes: s + 1 when X - s > s^2, else s. s <= 32767, so the
// multiply-add of (s, 0) with itself gives s^2 exactly.
inline __m128i Corrected32(__m128i big_x, __m128i s) {
  const __m128i up = _mm_cmpgt_epi32(_mm_sub_epi32(big_x, s), _mm_madd_epi16(s, s));
  return _mm_sub_epi32(s, up);
}

// sf = 0: s = the truncated estimate; the result is s + 1 when x - s > s^2.
template <class Estimator>
auto RoundedRoot(const Estimator& estimate) {
  return [&estimate](__m128i x, bool has_zero) {
    const __m128i s = TruncateToI16(EstimatedRoot(LowToFloat(x), has_zero, estimate),
                                    EstimatedRoot(HighToFloat(x), has_zero, estimate));
    return _mm_sub_epi16(s, _mm_cmpgt_epi16(_mm_sub_epi16(x, s), _mm_mullo_epi16(s, s)));
  };
}

// sf = 1 .. 8: c from the root of x 2^-2sf (exact scaling); the result is
// c + 1 when x + (1 if c is odd) > d^2 for d = (2c + 1) 2^(sf-1). The
// comparison is unsigned: d^2 stays below 2^16, x + 1 at most 32768.
template <class Estimator>
auto ScaledDown(std::int32_t sf, const Estimator& estimate) {
  const __m128 scale = _mm_set1_ps(1.0f / static_cast<float>(1 << (2 * sf)));
  const __m128i by_sf_less_1 = _mm_cvtsi32_si128(sf - 1);
  const __m128i one = _mm_set1_epi16(1);
  return [=, &estimate](__m128i x, bool has_zero) {
    const __m128 lo = _mm_mul_ps(LowToFloat(x), scale);
    const __m128 hi = _mm_mul_ps(HighToFloat(x), scale);
    const __m128i c =
        TruncateToI16(EstimatedRoot(lo, has_zero, estimate), EstimatedRoot(hi, has_zero, estimate));
    const __m128i d = _mm_sll_epi16(_mm_add_epi16(_mm_add_epi16(c, c), one), by_sf_less_1);
    const __m128i lhs = _mm_add_epi16(x, _mm_and_si128(c, one));
    const __m128i not_up =
        _mm_cmpeq_epi16(_mm_subs_epu16(lhs, _mm_mullo_epi16(d, d)), _mm_setzero_si128());
    return _mm_add_epi16(_mm_add_epi16(c, one), not_up);
  };
}

// sf = -1 .. -14 (k = -sf): the root of X = x 4^k in 32 bits, corrected by
// X - s > s^2. With Limit (k >= 9) the elements are first limited to
// 2^(31-2k) - 1 so that X fits in 31 bits; from 2^(30-2k) on every result
// saturates anyway.
template <bool Refine, bool Limit, class Estimator>
auto ScaledUp(std::int32_t k, const Estimator& estimate) {
  const __m128i by_2k = _mm_cvtsi32_si128(2 * k);
  const __m128i limit =
      _mm_set1_epi16(static_cast<std::int16_t>(Limit ? (1 << (31 - 2 * k)) - 1 : 0));
  return [=, &estimate](__m128i x, bool has_zero) {
    if constexpr (Limit) x = _mm_min_epi16(x, limit);
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo = _mm_sll_epi32(_mm_unpacklo_epi16(x, zero), by_2k);
    const __m128i hi = _mm_sll_epi32(_mm_unpackhi_epi16(x, zero), by_2k);
    auto root = [&](__m128i big_x) {
      const __m128 v = _mm_cvtepi32_ps(big_x);
      return Refine ? RefinedRoot(v, has_zero, estimate) : EstimatedRoot(v, has_zero, estimate);
    };
    const __m128i s = TruncateToI16(root(lo), root(hi));
    return _mm_packs_epi32(Corrected32(lo, _mm_unpacklo_epi16(s, zero)),
                           Corrected32(hi, _mm_unpackhi_epi16(s, zero)));
  };
}

// The elements of the vector through one of the routines above; returns
// whether an element was negative.
template <class Routine>
bool Groups(std::int16_t* srcdst, std::int32_t len, Routine routine) {
  __m128i signs = _mm_setzero_si128();
  ForEachGroup(srcdst, len, [&](std::int16_t* p) {
    const __m128i zero = _mm_setzero_si128();
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    signs = _mm_or_si128(signs, x);
    x = _mm_max_epi16(x, zero);
    const bool has_zero = _mm_movemask_epi8(_mm_cmpeq_epi16(x, zero)) != 0;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), routine(x, has_zero));
  });
  return (_mm_movemask_epi8(signs) & 0xAAAA) != 0;
}

// The kernel for -14 <= sf <= 8: picks the routine once, from sf.
template <class Estimator>
bool Kernel(std::int16_t* srcdst, std::int32_t len, std::int32_t sf, const Estimator& estimate) {
  if (sf == 0) return Groups(srcdst, len, RoundedRoot(estimate));
  if (sf > 0) return Groups(srcdst, len, ScaledDown(sf, estimate));
  const std::int32_t k = -sf;
  if (k <= 2) return Groups(srcdst, len, ScaledUp<false, false>(k, estimate));
  if (k <= 8) return Groups(srcdst, len, ScaledUp<true, false>(k, estimate));
  return Groups(srcdst, len, ScaledUp<true, true>(k, estimate));
}

}  // namespace qvls::sqrt::w7
