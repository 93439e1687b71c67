// The large-order kernels of a6 and w7 over 128-bit single-precision
// vectors, one code over the element moves P (A6Pairs or W7Pairs, which
// also say where a6 prefetches): the twiddle gather and column scatter of a
// level, and a6's block path. Between the steps of a level the data stay
// split by 4 (element 4g+u: real part at float 8g+u, imaginary part at
// 8g+4+u); a column group k0..k0+3 of a chunk is then its floats 2k0..2k0+7
// in either layout. Chunks may lie off a 16-byte boundary; the rows and
// the matrix do not.
#pragma once

#include <xmmintrin.h>

#include <cstddef>
#include <cstdint>

#include "siglib/transforms/fft_large/large_engine.h"
#include "siglib/transforms/fft_radix/split_complex.h"

namespace qvls::fft_large {

using fft_radix::LoadGroup;
using fft_radix::Split4;

template <class P>
Split4 LoadChunkGroup(const float* x) {
  return {P::LoadTwo(x), P::LoadTwo(x + 4)};
}

// Four values of a group written back as interleaved pairs or split by 4.
template <class P>
void StoreChunkGroup(float* x, __m128 re, __m128 im, bool interleave) {
  if (interleave) {
    P::StoreTwo(x, _mm_unpacklo_ps(re, im));
    P::StoreTwo(x + 4, _mm_unpackhi_ps(re, im));
  } else {
    P::StoreTwo(x, re);
    P::StoreTwo(x + 4, im);
  }
}

// Step 2a, four chunks at a time: their column groups times their matrix
// values lane by lane, turned so that each row gets the four chunks'
// values of its column, stored as interleaved pairs.
template <class P, Direction D>
void TwiddleGather(const float* group, float* rows, const float* twiddles, std::ptrdiff_t b,
                   std::ptrdiff_t p) {
  const std::ptrdiff_t chunk = 2 * b;  // floats from one chunk to the next
  for (std::ptrdiff_t i0 = 0; i0 < p; i0 += 4, twiddles += 32) {
    P::PrefetchOnce(twiddles, 128);
    P::PrefetchOnce(twiddles, 192);
    __m128 re[4], im[4];
    for (std::ptrdiff_t t = 0; t < 4; ++t) {
      const float* x = group + chunk * (i0 + t);
      P::PrefetchOnce(x, 16 * chunk);  // this column group four chunks on
      const Split4 v = fft_radix::Multiply<D>(LoadGroup(twiddles + 8 * t), LoadChunkGroup<P>(x));
      re[t] = v.re;
      im[t] = v.im;
    }
    _MM_TRANSPOSE4_PS(re[0], re[1], re[2], re[3]);
    _MM_TRANSPOSE4_PS(im[0], im[1], im[2], im[3]);
    for (std::ptrdiff_t u = 0; u < 4; ++u) {
      float* to = rows + 2 * p * u + 2 * i0;
      _mm_store_ps(to, _mm_unpacklo_ps(re[u], im[u]));
      _mm_store_ps(to + 4, _mm_unpackhi_ps(re[u], im[u]));
    }
  }
}

template <class P>
void TwiddleGatherBoth(const float* group, float* rows, const float* twiddles,
                       std::int32_t direction, std::int32_t b, std::int32_t p) {
  if (direction == 1) {
    TwiddleGather<P, Direction::kForward>(group, rows, twiddles, b, p);
  } else {
    TwiddleGather<P, Direction::kInverse>(group, rows, twiddles, b, p);
  }
}

// Step 2c, four row values at a time: rows 0..3 (split by 4) turned so
// that each chunk gets its four columns.
template <class P>
void ColumnScatter(float* group, const float* rows, std::int32_t b, std::int32_t p,
                   std::int32_t interleave) {
  const std::ptrdiff_t chunk = 2 * std::ptrdiff_t{b};
  const std::ptrdiff_t row = 2 * std::ptrdiff_t{p};
  for (std::ptrdiff_t l0 = 0; l0 < p; l0 += 4) {
    __m128 re[4], im[4];
    for (std::ptrdiff_t u = 0; u < 4; ++u) {
      const Split4 v = LoadGroup(rows + row * u + 2 * l0);
      re[u] = v.re;
      im[u] = v.im;
    }
    _MM_TRANSPOSE4_PS(re[0], re[1], re[2], re[3]);
    _MM_TRANSPOSE4_PS(im[0], im[1], im[2], im[3]);
    for (std::ptrdiff_t v = 0; v < 4; ++v) {
      StoreChunkGroup<P>(group + chunk * (l0 + v), re[v], im[v], interleave == 1);
    }
  }
}

// -i·t forward, +i·t inverse: the factor of a merge's upper quarter, whose
// twiddle is -i times the lower quarter's (conjugated for the inverse).
template <Direction D>
Split4 UpperQuarter(Split4 t) {
  const __m128 sign = _mm_set1_ps(-0.0f);
  if constexpr (D == Direction::kForward) return {t.im, _mm_xor_ps(t.re, sign)};
  return {_mm_xor_ps(t.im, sign), t.re};
}

// a6: one radix-2 merge of two split-by-4 halves of `count` values:
// x ± W^k·y with W^k from the level's table for k < count/4 and -i·W^(k -
// count/4) above.
template <class P, Direction D>
void MergeHalves(float* data, std::ptrdiff_t count, const float* level, bool interleave) {
  const std::ptrdiff_t half = count / 2;
  const std::ptrdiff_t quarter = count / 4;
  for (std::ptrdiff_t k = 0; k < half; k += 4) {
    float* x = data + 2 * k;
    float* y = x + 2 * half;
    const bool upper = k >= quarter;
    const float* twiddle = level + 2 * (upper ? k - quarter : k);
    P::PrefetchOnce(x, 256);
    P::PrefetchOnce(y, 256);
    P::PrefetchOnce(twiddle, 256);
    const Split4 a = LoadChunkGroup<P>(x);
    Split4 t = fft_radix::Multiply<D>(LoadGroup(twiddle), LoadChunkGroup<P>(y));
    if (upper) t = UpperQuarter<D>(t);
    const Split4 sum = a + t;
    const Split4 difference = a - t;
    StoreChunkGroup<P>(x, sum.re, sum.im, interleave);
    StoreChunkGroup<P>(y, difference.re, difference.im, interleave);
  }
}

// a6: a level of the block path: the halves (leaves of 1024 points, or the
// level below with the next level's table, right behind this level's
// count/4 values), then the merge.
template <class V, class P, Direction D>
void BlockLevel(const fft_context& context, float* data, std::int32_t count, const float* level,
                std::uint8_t* work, std::int32_t final) {
  const std::int32_t half = count / 2;
  if (half == std::int32_t{1} << kBlockLeafOrder) {
    Leaf<V, D>(context, data, kBlockLeafOrder, work);
    Leaf<V, D>(context, data + 2 * half, kBlockLeafOrder, work);
  } else {
    const float* next = level + half;
    V::kBlockLevel.template Get<D>()(&context, data, half, next, work, 0);
    V::kBlockLevel.template Get<D>()(&context, data + 2 * half, half, next, work, 0);
  }
  P::PrefetchOnce(level, 0);
  P::PrefetchOnce(level, 64);
  V::kMerge.template Get<D>()(data, count, level, final);
}

}  // namespace qvls::fft_large

// The gather and scatter kernels of a6 or w7 (tag) over its moves P.
#define QVLS_DEFINE_LEVEL_KERNELS(tag, P)                                                        \
  void qvlsFFTTwiddleGather_cf32_##tag##_kernel(const float* group, float* rows,                 \
                                                const float* twiddles, std::int32_t direction,   \
                                                std::int32_t b, std::int32_t p) {                \
    qvls::fft_large::TwiddleGatherBoth<P>(group, rows, twiddles, direction, b, p);               \
  }                                                                                              \
  void qvlsFFTColumnScatter_cf32_##tag##_kernel(float* group, const float* rows, std::int32_t b, \
                                                std::int32_t p, std::int32_t interleave) {       \
    qvls::fft_large::ColumnScatter<P>(group, rows, b, p, interleave);                            \
  }
