// The element-wise complex routines of Bluestein's algorithm: the product
// in double (px, m6: both products of a part formed exactly, their
// difference or sum rounded once) or in 128-bit single precision (a6, w7:
// every product and sum rounded), zero fills and the conjugate.
#pragma once

#include <emmintrin.h>
#include <xmmintrin.h>

#include <cstddef>
#include <cstdint>

#include "siglib/frame/unaligned.h"
#include "siglib/memory/alignment.h"

namespace qvls::bluestein {

// Element k of a·b in arithmetic T.
template <class T>
void MultiplyOne(const float* a, const float* b, float* dst, std::ptrdiff_t k) {
  const T ar = LoadAt(a, 2 * k), ai = LoadAt(a, 2 * k + 1);
  const T br = LoadAt(b, 2 * k), bi = LoadAt(b, 2 * k + 1);
  const T re = ar * br - ai * bi;
  const T im = ai * br + ar * bi;
  StoreAt(dst, 2 * k, static_cast<float>(re));
  StoreAt(dst, 2 * k + 1, static_cast<float>(im));
}

inline void MulScalar(const float* a, const float* b, float* dst, std::int32_t n) {
  for (std::ptrdiff_t k = 0; k < n; ++k) MultiplyOne<double>(a, b, dst, k);
}

// Two elements {ar0, ai0, ar1, ai1}·{br0, bi0, br1, bi1}: a·{br, br} plus
// the swapped a·{bi, bi} with the real lanes negated, which is the
// subtraction of the scalar form bit for bit.
inline __m128 MultiplyTwo(__m128 a, __m128 b) {
  const __m128 b_re = _mm_shuffle_ps(b, b, _MM_SHUFFLE(2, 2, 0, 0));
  const __m128 b_im = _mm_shuffle_ps(b, b, _MM_SHUFFLE(3, 3, 1, 1));
  const __m128 a_swapped = _mm_shuffle_ps(a, a, _MM_SHUFFLE(2, 3, 0, 1));
  const __m128 negate_re = _mm_setr_ps(-0.0f, 0.0f, -0.0f, 0.0f);
  return _mm_add_ps(_mm_mul_ps(a, b_re), _mm_xor_ps(_mm_mul_ps(a_swapped, b_im), negate_re));
}

// From the end in blocks of four elements, the n mod 4 leading ones last and
// singly. From 516 elements on it prefetches ahead (downwards); when then
// dst is not b and the first block it stores lies on a 16-byte boundary
// (so do all, 32 bytes apart), it stores around the cache and fences.
inline void MulVector(const float* a, const float* b, float* dst, std::int32_t n) {
  constexpr std::ptrdiff_t kAhead = 16;  // elements
  const bool long_run = n >= 516;
  std::ptrdiff_t end = n;
  const bool streaming = long_run && dst != b && end >= 4 && IsOnBoundary(dst + 2 * (end - 4), 16);
  for (; end >= 4; end -= 4) {
    const std::ptrdiff_t at = 2 * (end - 4);
    if (long_run && end - 4 >= kAhead) {
      _mm_prefetch(reinterpret_cast<const char*>(a + at - 2 * kAhead), _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(b + at - 2 * kAhead), _MM_HINT_T0);
    }
    const __m128 low = MultiplyTwo(_mm_loadu_ps(a + at), _mm_loadu_ps(b + at));
    const __m128 high = MultiplyTwo(_mm_loadu_ps(a + at + 4), _mm_loadu_ps(b + at + 4));
    if (streaming) {
      _mm_stream_ps(dst + at, low);
      _mm_stream_ps(dst + at + 4, high);
    } else {
      _mm_storeu_ps(dst + at, low);
      _mm_storeu_ps(dst + at + 4, high);
    }
  }
  if (streaming) _mm_sfence();
  while (end > 0) MultiplyOne<float>(a, b, dst, --end);
}

inline void ZeroScalar(float* dst, std::int32_t n) {
  for (std::ptrdiff_t i = 0; i < 2 * std::ptrdiff_t{n}; ++i) StoreAt(dst, i, 0.0f);
}

// 16 bytes of zeros at p: a single-precision store (a6) or an integer one
// (w7).
struct StoreFloatZeros {
  void operator()(float* p) const { _mm_storeu_ps(p, _mm_setzero_ps()); }
};
struct StoreIntegerZeros {
  void operator()(float* p) const {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_setzero_si128());
  }
};

// Two elements per 16-byte store of zeros (StoreZeros{}(p) at p), the odd
// one last.
template <class StoreZeros>
void ZeroVector(float* dst, std::int32_t n) {
  std::ptrdiff_t k = 0;
  for (; k + 2 <= n; k += 2) StoreZeros{}(dst + 2 * k);
  if (k < n) ZeroScalar(dst + 2 * k, 1);
}

inline void ConjScalar(const float* src, float* dst, std::int32_t n) {
  for (std::ptrdiff_t k = 0; k < n; ++k) {
    StoreAt(dst, 2 * k, LoadAt(src, 2 * k));
    StoreAt(dst, 2 * k + 1, -LoadAt(src, 2 * k + 1));
  }
}

}  // namespace qvls::bluestein
