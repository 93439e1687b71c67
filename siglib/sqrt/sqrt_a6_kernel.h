// The a6 square-root kernel for sf -14 .. 8: four-lane single precision for
// the roots, 64-bit packed integers for the data and the corrections, groups
// of eight elements as two halves of four. A template on the estimator (see
// sqrt_estimate.h); the variant's entry runs it with the processor's.
#pragma once

#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstdint>
#include <cstring>

#include "siglib/sqrt/sqrt_bitwise_m64.h"
#include "siglib/sqrt/sqrt_estimate.h"
#include "siglib/sqrt/sqrt_groups.h"

namespace qvls::sqrt::a6 {

// The truncated roots of four lanes as 16-bit values (saturated at 32767).
inline __m64 TruncateToI16(__m128 root) {
  return _mm_packs_pi32(_mm_cvttps_pi32(root), _mm_cvttps_pi32(_mm_movehl_ps(root, root)));
}

// Two 32-bit lanes: s + 1 when X - s > s^2, else s. s <= 32767, so the
// multiply-add of (s, 0) with itself gives s^2 exactly.
inline __m64 Corrected32(__m64 big_x, __m64 s) {
  const __m64 up = _mm_cmpgt_pi32(_mm_sub_pi32(big_x, s), _mm_madd_pi16(s, s));
  return _mm_sub_pi32(s, up);
}

// sf = 0: s = the truncated estimate; the result is s + 1 when x - s > s^2.
template <class Estimator>
auto RoundedRoot(const Estimator& estimate) {
  return [&estimate](__m64 x, bool has_zero) {
    const __m64 s = TruncateToI16(EstimatedRoot(_mm_cvtpi16_ps(x), has_zero, estimate));
    return _mm_sub_pi16(s, _mm_cmpgt_pi16(_mm_sub_pi16(x, s), _mm_mullo_pi16(s, s)));
  };
}

// sf = 1 .. 4: c from the root of x 2^-2sf (exact scaling); the result is
// c + 1 when d^2 < x, or d^2 = x and c is odd, for d = (c + 1/2) 2^sf, tested
// as x - 4^(sf-1) + (c & 1) - c 4^sf > (c 2^sf)^2 so that no term leaves 16 bits.
template <class Estimator>
auto ScaledDown(std::int32_t sf, const Estimator& estimate) {
  const __m128 scale = _mm_set1_ps(1.0f / static_cast<float>(1 << (2 * sf)));
  const __m64 by_sf = _mm_cvtsi32_si64(sf);
  const __m64 by_2sf = _mm_cvtsi32_si64(2 * sf);
  const __m64 quarter = _mm_set1_pi16(static_cast<std::int16_t>(1 << (2 * sf - 2)));
  const __m64 one = _mm_set1_pi16(1);
  return [=, &estimate](__m64 x, bool has_zero) {
    const __m128 y = _mm_mul_ps(_mm_cvtpi16_ps(x), scale);
    const __m64 c = TruncateToI16(EstimatedRoot(y, has_zero, estimate));
    const __m64 t = _mm_sll_pi16(c, by_sf);
    __m64 lhs = _mm_add_pi16(_mm_sub_pi16(x, quarter), _mm_and_si64(c, one));
    lhs = _mm_sub_pi16(lhs, _mm_sll_pi16(c, by_2sf));
    return _mm_sub_pi16(c, _mm_cmpgt_pi16(lhs, _mm_mullo_pi16(t, t)));
  };
}

// sf = -1 .. -14 (k = -sf): the root of X = x 4^k in 32 bits, corrected by
// X - s > s^2. With Limit (k >= 9) the elements are first limited to
// 2^(31-2k) - 1 so that X fits in 31 bits; from 2^(30-2k) on every result
// saturates anyway.
template <bool Refine, bool Limit, class Estimator>
auto ScaledUp(std::int32_t k, const Estimator& estimate) {
  const __m64 by_2k = _mm_cvtsi32_si64(2 * k);
  const __m64 limit = _mm_set1_pi16(static_cast<std::int16_t>(Limit ? (1 << (31 - 2 * k)) - 1 : 0));
  return [=, &estimate](__m64 x, bool has_zero) {
    if constexpr (Limit) x = _mm_min_pi16(x, limit);
    const __m64 zero = _mm_setzero_si64();
    const __m64 lo = _mm_sll_pi32(_mm_unpacklo_pi16(x, zero), by_2k);
    const __m64 hi = _mm_sll_pi32(_mm_unpackhi_pi16(x, zero), by_2k);
    const __m128 big_x = _mm_cvtpi32x2_ps(lo, hi);
    const __m128 root =
        Refine ? RefinedRoot(big_x, has_zero, estimate) : EstimatedRoot(big_x, has_zero, estimate);
    const __m64 s = TruncateToI16(root);
    return _mm_packs_pi32(Corrected32(lo, _mm_unpacklo_pi16(s, zero)),
                          Corrected32(hi, _mm_unpackhi_pi16(s, zero)));
  };
}

// The elements of the vector through one of the routines above; returns
// whether an element was negative.
template <class Routine>
bool Groups(std::int16_t* srcdst, std::int32_t len, Routine routine) {
  __m64 signs = _mm_setzero_si64();
  ForEachGroup(srcdst, len, [&](std::int16_t* p) {
    const __m64 zero = _mm_setzero_si64();
    __m64 lo, hi;
    std::memcpy(&lo, p, sizeof lo);
    std::memcpy(&hi, p + 4, sizeof hi);
    signs = _mm_or_si64(signs, _mm_or_si64(lo, hi));
    lo = _mm_max_pi16(lo, zero);
    hi = _mm_max_pi16(hi, zero);
    const bool has_zero =
        _mm_cvtm64_si64(_mm_or_si64(_mm_cmpeq_pi16(lo, zero), _mm_cmpeq_pi16(hi, zero))) != 0;
    lo = routine(lo, has_zero);
    hi = routine(hi, has_zero);
    std::memcpy(p, &lo, sizeof lo);
    std::memcpy(p + 4, &hi, sizeof hi);
  });
  const bool negative = (_mm_cvtm64_si64(signs) & 0x8000800080008000) != 0;
  _mm_empty();
  return negative;
}

// The kernel for -14 <= sf <= 8: picks the routine once, from sf.
template <class Estimator>
bool Kernel(std::int16_t* srcdst, std::int32_t len, std::int32_t sf, const Estimator& estimate) {
  if (sf == 0) return Groups(srcdst, len, RoundedRoot(estimate));
  if (sf > 4) {
    return Groups(srcdst, len, [sf](__m64 x, bool) { return BitwiseRootScaled(x, sf); });
  }
  if (sf > 0) return Groups(srcdst, len, ScaledDown(sf, estimate));
  const std::int32_t k = -sf;
  if (k <= 2) return Groups(srcdst, len, ScaledUp<false, false>(k, estimate));
  if (k <= 8) return Groups(srcdst, len, ScaledUp<true, false>(k, estimate));
  return Groups(srcdst, len, ScaledUp<true, true>(k, estimate));
}

}  // namespace qvls::sqrt::a6
