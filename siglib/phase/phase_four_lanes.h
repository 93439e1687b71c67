// The a6 and w7 entry and kernels over four elements per step. A variant
// supplies how it moves four elements in and out (P below); the arithmetic
// is lanes::Coarse and lanes::Rational for both.
//
// P::Group(src, dst, angle) unpacks four elements at src into real and
// imaginary single-precision lanes, applies angle(re, im) and stores the four
// converted, saturated results at dst; P::Release() ends the use of the
// 64-bit packed registers where the variant used them; P::ZeroFill(dst, len)
// writes zeros.
#pragma once

#include <xmmintrin.h>

#include <cmath>
#include <cstdint>

#include "siglib/phase/phase_lanes.h"
#include "siglib/phase/phase_rules.h"

namespace qvls::phase {

inline constexpr std::int32_t kLanes = 4;

// group(src, dst) for each whole group of four; returns how many elements
// that covered.
template <class Group>
std::int32_t WholeGroups(const qvls_ci16* src, std::int16_t* dst, std::int32_t len, Group&& group) {
  std::int32_t i = 0;
  for (; i + kLanes <= len; i += kLanes) group(src + i, dst + i);
  return i;
}

// group() on 0 .. 3 elements: the lanes beyond them repeat them, and only
// their results are written.
template <class Group>
void PartialGroup(const qvls_ci16* src, std::int16_t* dst, std::int32_t n, Group&& group) {
  if (n == 0) return;
  qvls_ci16 in[kLanes];
  std::int16_t out[kLanes];
  for (std::int32_t i = 0; i < kLanes; ++i) in[i] = LoadAt(src, i % n);
  group(in, out);
  for (std::int32_t i = 0; i < n; ++i) StoreAt(dst, i, out[i]);
}

// sf = 0: the coarse angle four at a time; the last len mod 4 elements take
// the exact angle.
template <class P>
void CoarseKernel(const qvls_ci16* src, std::int16_t* dst, std::int32_t len) {
  const std::int32_t done = WholeGroups(
      src, dst, len, [](const qvls_ci16* s, std::int16_t* d) { P::Group(s, d, lanes::Coarse); });
  P::Release();
  for (std::int32_t i = done; i < len; ++i) StoreAt(dst, i, WholeRadians(LoadAt(src, i)));
}

// -28 <= sf <= 2, sf != 0: the rational angle four at a time, the last
// group partial.
template <class P>
void RationalKernel(const qvls_ci16* src, std::int16_t* dst, std::int32_t len, float scale) {
  const __m128 factor = _mm_set1_ps(scale);
  auto group = [factor](const qvls_ci16* s, std::int16_t* d) {
    P::Group(s, d, [factor](__m128 re, __m128 im) { return lanes::Rational(re, im, factor); });
  };
  const std::int32_t done = WholeGroups(src, dst, len, group);
  PartialGroup(src + done, dst + done, len - done, group);
  P::Release();
}

// The entry. The SIMD status flags that the call raises are cleared by
// loading back the caller's word, held by the call itself, so none is left
// behind and no word is shared between calls.
template <class P>
qvls_status RunFourLanes(const qvls_ci16* src, std::int16_t* dst, std::int32_t len,
                         std::int32_t sf) {
  if (const qvls_status status = Check(src, dst, len); status != QVLS_OK) return status;
  const std::uint32_t caller = _mm_getcsr();
  if (sf >= 3) {
    P::ZeroFill(dst, len);  // |theta| 2^-3 <= pi / 8 < 1/2
  } else if (sf == 0) {
    CoarseKernel<P>(src, dst, len);
  } else if (sf >= -28) {
    RationalKernel<P>(src, dst, len, std::ldexp(1.0f, -sf));
  } else {
    const double scale = ScaleOf(sf);
    for (std::int32_t i = 0; i < len; ++i) StoreAt(dst, i, ReferenceResult(LoadAt(src, i), scale));
  }
  _mm_setcsr(caller);
  return QVLS_OK;
}

}  // namespace qvls::phase
