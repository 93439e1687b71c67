// Roots of four single-precision lanes from an approximate reciprocal square
// root, for the a6 and w7 kernels. The estimator is a template argument:
// the variants use the processor's estimate, whose error is bounded only by
// its relative error of at most 1.5 * 2^-12, and tests inject estimates at
// that bound. The kernels' corrections are exact for any such estimate.
#pragma once

#include <xmmintrin.h>

namespace qvls::sqrt {

struct HardwareRsqrt {
  __m128 operator()(__m128 v) const { return _mm_rsqrt_ps(v); }
};

// v times its estimated reciprocal root: within 0.3 of the root for roots up
// to 724 (sf >= -2). A group that holds a zero takes the exact root instead
// (the estimate of 1/sqrt(0) is infinite).
template <class Estimator>
__m128 EstimatedRoot(__m128 v, bool has_zero, const Estimator& estimate) {
  return has_zero ? _mm_sqrt_ps(v) : _mm_mul_ps(v, estimate(v));
}

// The same refined by one Newton step, e * (3 - e * y) / 2 with e = v * y:
// relative error about 2e-7 plus a few roundings, so within 0.03 of any
// root up to 46341. Roots from 1448 (sf = -3) on need it.
template <class Estimator>
__m128 RefinedRoot(__m128 v, bool has_zero, const Estimator& estimate) {
  if (has_zero) return _mm_sqrt_ps(v);
  const __m128 y = estimate(v);
  const __m128 e = _mm_mul_ps(v, y);
  return _mm_mul_ps(_mm_mul_ps(e, _mm_set1_ps(0.5f)),
                    _mm_sub_ps(_mm_set1_ps(3.0f), _mm_mul_ps(e, y)));
}

}  // namespace qvls::sqrt
