// The recombination's pair loop and middle element, one pair at a time in
// arithmetic T (px and m6, double) or four pairs per step in single
// precision (a6 and w7, over their element moves P).
#pragma once

#include <xmmintrin.h>

#include <cstdint>

#include "siglib/frame/unaligned.h"
#include "siglib/transforms/fft_radix/split_complex.h"

namespace qvls::fft_real {

// X(h/2) = conj Z(h/2).
inline void ConjugateMiddle(float* data, std::int32_t h) {
  StoreAt(data, h + 1, -LoadAt(data, h + 1));
}

template <class T>
void RecombinePairs(float* data, std::int32_t h, const float* table) {
  for (std::int32_t k = 1; k < h / 2; ++k) {
    const T ar = LoadAt(data, 2 * k), ai = LoadAt(data, 2 * k + 1);
    const T br = LoadAt(data, 2 * (h - k)), bi = LoadAt(data, 2 * (h - k) + 1);
    const T c = table[2 * k], s = table[2 * k + 1];
    const T difference = ar - br, sum = ai + bi;
    const T l = difference * s + sum * c;
    const T m = sum * s - difference * c;
    StoreAt(data, 2 * k, static_cast<float>(br + l));
    StoreAt(data, 2 * k + 1, static_cast<float>(m - bi));
    StoreAt(data, 2 * (h - k), static_cast<float>(ar - l));
    StoreAt(data, 2 * (h - k) + 1, static_cast<float>(m - ai));
  }
  ConjugateMiddle(data, h);
}

using fft_radix::Split4;

// Elements e..e+3 at p = data + 2e, as four lanes.
template <class P>
Split4 LoadFour(const float* p) {
  const __m128 low = P::LoadTwo(p), high = P::LoadTwo(p + 4);
  return {_mm_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0)),
          _mm_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1))};
}
// Elements e-3..e (p = data + 2(e-3)) as lanes e, e-1, e-2, e-3.
template <class P>
Split4 LoadFourDescending(const float* p) {
  const __m128 low = P::LoadTwo(p), high = P::LoadTwo(p + 4);
  return {_mm_shuffle_ps(high, low, _MM_SHUFFLE(0, 2, 0, 2)),
          _mm_shuffle_ps(high, low, _MM_SHUFFLE(1, 3, 1, 3))};
}

// The first `count` lanes of v as elements e, e+1, ... from p = data + 2e.
template <class P>
void StoreAscending(float* p, Split4 v, std::int32_t count) {
  const __m128 first = _mm_unpacklo_ps(v.re, v.im), second = _mm_unpackhi_ps(v.re, v.im);
  if (count == 4) {
    P::StoreTwo(p, first);
    P::StoreTwo(p + 4, second);
    return;
  }
  P::StoreTwo(p, first);
  P::StoreLow(p + 4, second);
}
// The first `count` lanes of v as elements e, e-1, ... from p = data + 2e.
template <class P>
void StoreDescending(float* p, Split4 v, std::int32_t count) {
  const __m128 first = _mm_unpacklo_ps(v.re, v.im), second = _mm_unpackhi_ps(v.re, v.im);
  P::StoreLow(p, first);
  P::StoreHigh(p - 2, first);
  P::StoreLow(p - 4, second);
  if (count == 4) P::StoreHigh(p - 6, second);
}

// Groups of k = 4g+1..4g+4 with the mirrored elements h-k read and written
// in descending order; the last lane of the last group is k = h/2, whose
// results are not stored.
template <class P>
void RecombineFours(float* data, std::int32_t h, const float* table) {
  const std::int32_t groups = h / 8;
  for (std::int32_t g = 0; g < groups; ++g) {
    const std::int32_t k = 4 * g + 1;
    float* ascending = data + 2 * k;
    float* descending = data + 2 * (h - k);
    P::Prefetch(ascending, 32);    // the next group's four elements
    P::Prefetch(descending, -56);  // and their mirrors
    P::Prefetch(table + 8 * g, 32);
    const Split4 a = LoadFour<P>(ascending);
    const Split4 b = LoadFourDescending<P>(descending - 6);
    const __m128 c = _mm_load_ps(table + 8 * g), s = _mm_load_ps(table + 8 * g + 4);
    const __m128 difference = _mm_sub_ps(a.re, b.re), sum = _mm_add_ps(a.im, b.im);
    const __m128 l = _mm_add_ps(_mm_mul_ps(difference, s), _mm_mul_ps(sum, c));
    const __m128 m = _mm_sub_ps(_mm_mul_ps(sum, s), _mm_mul_ps(difference, c));
    const Split4 low = {_mm_add_ps(b.re, l), _mm_sub_ps(m, b.im)};
    const Split4 high = {_mm_sub_ps(a.re, l), _mm_sub_ps(m, a.im)};
    const std::int32_t count = g + 1 < groups ? 4 : 3;
    StoreAscending<P>(ascending, low, count);
    StoreDescending<P>(descending, high, count);
  }
  ConjugateMiddle(data, h);
}

}  // namespace qvls::fft_real
