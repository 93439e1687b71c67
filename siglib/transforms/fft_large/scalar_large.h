// The large-order routines of px and m6 (the same operations in each):
// interleaved data throughout, every product and sum in double, rounded to
// single when stored.
#pragma once

#include <cstddef>
#include <cstdint>

#include "siglib/frame/unaligned.h"
#include "siglib/transforms/fft_large/large_engine.h"
#include "siglib/transforms/fft_radix/scalar_passes.h"

namespace qvls::fft_large {

using fft_radix::Wide;

inline Wide WideAt(const float* x, std::ptrdiff_t i) {
  return {LoadAt(x, 2 * i), LoadAt(x, 2 * i + 1)};
}
inline void PutWide(float* x, std::ptrdiff_t i, Wide v) {
  StoreAt(x, 2 * i, static_cast<float>(v.re));
  StoreAt(x, 2 * i + 1, static_cast<float>(v.im));
}

// Step 2a: row u, position i = chunk i's value k0 + u times its matrix
// value (the conjugate for the inverse).
template <Direction D>
void ScalarGather(const float* group, float* rows, const float* twiddles, std::ptrdiff_t b,
                  std::ptrdiff_t p) {
  for (std::ptrdiff_t i = 0; i < p; ++i, twiddles += 8) {
    const float* chunk = group + 2 * b * i;
    for (std::ptrdiff_t u = 0; u < 4; ++u) {
      const Wide w = {twiddles[2 * u], twiddles[2 * u + 1]};
      PutWide(rows + 2 * p * u, i, fft_radix::Multiply<D>(w, WideAt(chunk, u)));
    }
  }
}

inline void ScalarGatherBoth(const float* group, float* rows, const float* twiddles,
                             std::int32_t direction, std::int32_t b, std::int32_t p) {
  if (direction == 1) {
    ScalarGather<Direction::kForward>(group, rows, twiddles, b, p);
  } else {
    ScalarGather<Direction::kInverse>(group, rows, twiddles, b, p);
  }
}

// Step 2c: row u, value l to chunk l, position k0 + u (interleaved at
// every depth).
inline void ScalarScatter(float* group, const float* rows, std::int32_t b, std::int32_t p,
                          std::int32_t) {
  for (std::ptrdiff_t l = 0; l < p; ++l) {
    float* chunk = group + 2 * std::ptrdiff_t{b} * l;
    for (std::ptrdiff_t u = 0; u < 4; ++u) {
      const float* row = rows + 2 * std::ptrdiff_t{p} * u;
      StoreAt(chunk, 2 * u, row[2 * l]);
      StoreAt(chunk, 2 * u + 1, row[2 * l + 1]);
    }
  }
}

// a[x] + w·a[y] into a[x], a[x] - w·a[y] into a[y] (conj w inverse).
template <Direction D>
void MergeButterfly(float* a, std::ptrdiff_t x, std::ptrdiff_t y, Wide w) {
  const Wide top = WideAt(a, x);
  const Wide t = fft_radix::Multiply<D>(w, WideAt(a, y));
  PutWide(a, x, top + t);
  PutWide(a, y, top - t);
}

// Stages m = l, 2l, .., count/2 over groups of 2m values: twiddle
// t[k·count/(2m)] for k < m/2 and -i times t[(k - m/2)·count/(2m)] above.
// Each run of blocking/2 values of k below m/2 (with the run m/2 above it,
// which takes the same twiddles) goes through every group before the next.
template <Direction D>
void Merge(float* a, std::int32_t count, std::int32_t l, const float* t, std::int32_t blocking) {
  const std::ptrdiff_t run = blocking / 2;
  for (std::ptrdiff_t m = l; m < count; m *= 2) {
    const std::ptrdiff_t stride = count / (2 * m);
    const std::ptrdiff_t half = m / 2;
    for (std::ptrdiff_t k0 = 0; k0 < half; k0 += run) {
      for (std::ptrdiff_t g = 0; g < count; g += 2 * m) {
        for (std::ptrdiff_t k = k0; k < k0 + run; ++k) {
          const float* twiddle = t + 2 * k * stride;
          MergeButterfly<D>(a, g + k, g + m + k, {twiddle[0], twiddle[1]});
          MergeButterfly<D>(a, g + half + k, g + m + half + k, {twiddle[1], -twiddle[0]});
        }
      }
    }
  }
}

inline void MergeBoth(float* a, std::int32_t count, std::int32_t l, const float* t,
                      std::int32_t direction, std::int32_t blocking) {
  if (direction == 1) {
    Merge<Direction::kForward>(a, count, l, t, blocking);
  } else {
    Merge<Direction::kInverse>(a, count, l, t, blocking);
  }
}

inline constexpr std::int32_t kMergeBlocking = 256;

// The block path: the 1024-point leaves from the last to the first, then
// the merges from 1024 points up.
template <class V, Direction D>
void ScalarBlock(const fft_context& context, float* data, std::int32_t count, std::uint8_t* work) {
  constexpr std::int32_t kLeaf = std::int32_t{1} << kBlockLeafOrder;
  for (std::ptrdiff_t chunk = count / kLeaf - 1; chunk >= 0; --chunk) {
    Leaf<V, D>(context, data + 2 * kLeaf * chunk, kBlockLeafOrder, work);
  }
  V::Merge(data, count, kLeaf, context.block_twiddles, DirectionFlag(D), kMergeBlocking);
}

}  // namespace qvls::fft_large

// The block path's entries of px or m6 (tag) over its policy V.
#define QVLS_DEFINE_SCALAR_BLOCK_PATH(tag, V)                                                     \
  void qvlsFFTFwdBlock_cf32_##tag(const fft_context* context, float* data, std::int32_t count,    \
                                  std::uint8_t* work) {                                           \
    qvls::fft_large::ScalarBlock<V, qvls::transforms::Direction::kForward>(*context, data, count, \
                                                                           work);                 \
  }                                                                                               \
  void qvlsFFTInvBlock_cf32_##tag(const fft_context* context, float* data, std::int32_t count,    \
                                  std::uint8_t* work) {                                           \
    qvls::fft_large::ScalarBlock<V, qvls::transforms::Direction::kInverse>(*context, data, count, \
                                                                           work);                 \
  }                                                                                               \
  void qvlsFFTMerge_cf32_##tag(float* data, std::int32_t count, std::int32_t l,                   \
                               const float* twiddles, std::int32_t direction,                     \
                               std::int32_t blocking) {                                           \
    qvls::fft_large::MergeBoth(data, count, l, twiddles, direction, blocking);                    \
  }

// The whole large-order FFT of px or m6 (tag): the same routines over the
// variant's own entries, with px's split table, radix tables and multiply by a constant.
#define QVLS_DEFINE_SCALAR_LARGE_FFT(tag)                                                \
  namespace {                                                                            \
  struct ScalarLarge_##tag {                                                             \
    static constexpr qvls::fft_large::SplitTable kSplits = qvls::fft_large::kPxSplits;   \
    static constexpr bool kVector = false;                                               \
    static constexpr bool kBlockPath = true;                                             \
    static constexpr auto kMatrix = qvls::fft_large::MatrixLayout::kPairs;               \
    static constexpr auto* TwiddleTable = qvlsFFTTwiddleTable_cf32_px;                   \
    static constexpr auto* BlockTwiddles = qvlsFFTBlockTwiddles_cf32_##tag;              \
    static constexpr auto* InitSplit = qvlsFFTInitSplit_cf32_##tag;                      \
    static constexpr qvls::transforms::ByDirection<qvlsFFTRadix_cf32_ip_fn> kPasses = {  \
        qvlsFFTFwdRadix_cf32_ip_##tag##_kernel, qvlsFFTInvRadix_cf32_ip_##tag##_kernel}; \
    static constexpr auto* MulConst = qvlsMulConst_f32_ip_px;                            \
    static constexpr qvls::transforms::ByDirection<qvlsFFTSplit_cf32_fn> kSplit = {      \
        qvlsFFTFwdSplit_cf32_##tag, qvlsFFTInvSplit_cf32_##tag};                         \
    static constexpr qvls::transforms::ByDirection<qvlsFFTBlock_cf32_fn> kBlock = {      \
        qvlsFFTFwdBlock_cf32_##tag, qvlsFFTInvBlock_cf32_##tag};                         \
    static constexpr auto* Merge = qvlsFFTMerge_cf32_##tag;                              \
    static constexpr auto* Gather = qvls::fft_large::ScalarGatherBoth;                   \
    static constexpr auto* Scatter = qvls::fft_large::ScalarScatter;                     \
    template <qvls::transforms::Direction D>                                             \
    static void SubBlock(const fft_context& context, float* chunk, std::int32_t count,   \
                         std::uint8_t* work) {                                           \
      kBlock.Get<D>()(&context, chunk, count, work);                                     \
    }                                                                                    \
  };                                                                                     \
  }                                                                                      \
  QVLS_DEFINE_LARGE_FFT(tag, ScalarLarge_##tag)                                          \
  QVLS_DEFINE_SCALAR_BLOCK_PATH(tag, ScalarLarge_##tag)
