// The coarse and rational angles of four elements in single precision, for
// the a6 and w7 kernels (which differ in how they unpack the elements and
// pack the results). Every division is an exact single-precision division,
// so the results do not depend on the processor's reciprocal estimate.
#pragma once

#include <xmmintrin.h>

#include <numbers>

namespace qvls::phase::lanes {

inline constexpr float kQuarterPi = static_cast<float>(std::numbers::pi / 4);
inline constexpr float kThreeQuarterPi = static_cast<float>(3 * std::numbers::pi / 4);
inline constexpr float kHalfPi = static_cast<float>(std::numbers::pi / 2);
inline constexpr float kPi = static_cast<float>(std::numbers::pi);
inline constexpr float kTiny = 1e-10f;
// atan(u) ~ u P(u^2) / Q(u^2) on [0, 1], within 2e-9 in exact arithmetic.
inline constexpr float kP1 = 1.12023401f, kP2 = 0.280504555f, kP3 = 0.00856118929f;
inline constexpr float kQ1 = 1.45356715f, kQ2 = 0.565030992f, kQ3 = 0.0490175895f;

inline __m128 SignBits(__m128 v) { return _mm_and_ps(_mm_set1_ps(-0.0f), v); }
inline __m128 Magnitude(__m128 v) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), v); }
inline __m128 Select(__m128 mask, __m128 yes, __m128 no) {
  return _mm_or_ps(_mm_and_ps(mask, yes), _mm_andnot_ps(mask, no));
}

// The coarse angle (pi/2) t / (1 + t) of the first quadrant, carried to the
// others: with l = |im| + 1e-10, pi/4 - (pi/4)(re - l)/(re + l) for re >= 0,
// 3pi/4 - (pi/4)(re + l)/(l - re) for re < 0, negated for im < 0. re = 0
// gives 0 at the origin and +-2 on the imaginary axis.
inline __m128 Coarse(__m128 re, __m128 im) {
  const __m128 zero = _mm_setzero_ps();
  const __m128 l = _mm_add_ps(Magnitude(im), _mm_set1_ps(kTiny));
  const __m128 left = _mm_cmplt_ps(re, zero);
  const __m128 num = Select(left, _mm_add_ps(re, l), _mm_sub_ps(re, l));
  const __m128 den = Select(left, _mm_sub_ps(l, re), _mm_add_ps(re, l));
  const __m128 base = Select(left, _mm_set1_ps(kThreeQuarterPi), _mm_set1_ps(kQuarterPi));
  const __m128 a = _mm_sub_ps(base, _mm_mul_ps(_mm_set1_ps(kQuarterPi), _mm_div_ps(num, den)));
  const __m128 axis =
      _mm_and_ps(_mm_cmpneq_ps(im, zero), _mm_or_ps(_mm_set1_ps(2.0f), SignBits(im)));
  return Select(_mm_cmpeq_ps(re, zero), axis, _mm_xor_ps(a, SignBits(im)));
}

// The angle times scale by the rational approximation: t = |im| / |re|,
// u = t or 1/t so that u <= 1, a = u P(u^2) / Q(u^2), then pi/2 - a for t > 1,
// pi - a for re < 0 and the sign of im. re = 0 gives (pi/2) scale with the
// sign of im, and 0 at the origin.
inline __m128 Rational(__m128 re, __m128 im, __m128 scale) {
  const __m128 zero = _mm_setzero_ps();
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128 on_axis = _mm_cmpeq_ps(re, zero);
  const __m128 t = _mm_div_ps(Magnitude(im), Select(on_axis, one, Magnitude(re)));
  const __m128 inverted = _mm_cmpgt_ps(t, one);
  const bool any_inverted = _mm_movemask_ps(inverted) != 0;
  const __m128 u = any_inverted ? Select(inverted, _mm_div_ps(one, t), t) : t;
  const __m128 s = _mm_mul_ps(u, u);
  auto horner = [&](float c3, float c2, float c1) {
    __m128 h = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(c3), s), _mm_set1_ps(c2));
    h = _mm_add_ps(_mm_mul_ps(h, s), _mm_set1_ps(c1));
    return _mm_add_ps(_mm_mul_ps(h, s), one);
  };
  __m128 a = _mm_div_ps(_mm_mul_ps(u, horner(kP3, kP2, kP1)), horner(kQ3, kQ2, kQ1));
  if (any_inverted) a = Select(inverted, _mm_sub_ps(_mm_set1_ps(kHalfPi), a), a);
  a = Select(_mm_cmplt_ps(re, zero), _mm_sub_ps(_mm_set1_ps(kPi), a), a);
  a = _mm_mul_ps(_mm_xor_ps(a, SignBits(im)), scale);
  const __m128 axis = _mm_and_ps(_mm_cmpneq_ps(im, zero),
                                 _mm_or_ps(_mm_mul_ps(_mm_set1_ps(kHalfPi), scale), SignBits(im)));
  return Select(on_axis, axis, a);
}

}  // namespace qvls::phase::lanes
