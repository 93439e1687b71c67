// The mixed-radix drivers, one code over a variant policy V
// (dft_mixed_<variant>.cpp):
//
//   struct V {
//     static constexpr MixedKernels kForwardKernels, kInverseKernels;
//     static constexpr ByDirection<qvlsDFTMixedLevel_cf32_fn> kLevel;  // its recursive drivers
//   };
//
// A sub-transform of at most QVLS_DFT_BREADTH_FIRST_LIMIT elements runs
// breadth-first: the leaf over all its blocks, then every pass over its
// whole array. A larger one is split depth-first into its stage's
// sub-transforms, each finished before its own pass runs. Every pass but the
// top-level driver's last runs in place; the leaves never do.
#pragma once

#include <cstddef>
#include <cstdint>

#include "siglib/frame/unaligned.h"
#include "siglib/memory/alignment.h"
#include "siglib/transforms/dft_context/dft_context.h"
#include "siglib/transforms/dft_context/plan.h"
#include "siglib/transforms/dft_mixed/dft_mixed.h"
#include "siglib/transforms/direction.h"

namespace qvls::dft_mixed {

// One direction's kernels of a variant.
struct MixedKernels {
  qvlsDFTLeaf_cf32_kernel_fn* leaf3;
  qvlsDFTLeaf_cf32_kernel_fn* leaf5;
  qvlsDFTLeafOdd_cf32_kernel_fn* leaf_odd;
  qvlsDFTRadix_cf32_kernel_fn* radix2;
  qvlsDFTRadix_cf32_kernel_fn* radix3;
  qvlsDFTRadix_cf32_kernel_fn* radix4;
  qvlsDFTRadix_cf32_kernel_fn* radix5;
  qvlsDFTRadixOdd_cf32_kernel_fn* radix_odd;
};

template <class V, transforms::Direction D>
struct Driver {
  static constexpr const MixedKernels& kKernels =
      D == transforms::Direction::kForward ? V::kForwardKernels : V::kInverseKernels;

  // The leaf of length L over `blocks` blocks of the last stage, from x
  // (through the leaf offsets) into y.
  static void Leaf(const dft_context& c, const float* x, float* y, std::int32_t blocks,
                   float* scratch) {
    const dft_stage& stage = c.stages[c.last_stage];
    const std::int32_t l = stage.rest;
    if (l == 3 || l == 5) {
      (l == 3 ? kKernels.leaf3 : kKernels.leaf5)(x, stage.stride, y, stage.radix, blocks,
                                                 c.leaf_offsets);
      return;
    }
    const dft_roots_table* roots = c.stages[c.last_stage + 1].roots;
    for (std::ptrdiff_t j = 0; j < blocks; ++j) {
      kKernels.leaf_odd(x + 2 * std::ptrdiff_t{LoadAt(c.leaf_offsets, j)}, stage.stride,
                        y + 2 * j * stage.radix * l, l, stage.radix, roots, scratch);
    }
  }

  // The pass of stage i over `blocks` blocks, from `from` into `to`.
  static void Pass(const dft_context& c, std::int32_t i, const float* from, float* to,
                   std::int32_t blocks, float* scratch) {
    const dft_stage& stage = c.stages[i];
    const std::int32_t r = stage.radix;
    const std::int32_t n = stage.rest;
    qvlsDFTRadix_cf32_kernel_fn* const small[] = {kKernels.radix2, kKernels.radix3, kKernels.radix4,
                                                  kKernels.radix5};
    if (r <= 5) {
      small[r - 2](from, to, n, blocks, stage.twiddles);
      return;
    }
    const std::ptrdiff_t size = 2 * std::ptrdiff_t{r} * n;
    for (std::ptrdiff_t j = 0; j < blocks; ++j) {
      kKernels.radix_odd(from + j * size, to + j * size, r, n, stage.roots, stage.twiddles,
                         scratch);
    }
  }

  // Stages K down to `first` breadth-first from x into y: the leaf over all
  // the last stage's blocks, then each pass in place over its blocks.
  static void BreadthFirstRun(const dft_context& c, std::int32_t first, const float* x, float* y,
                              float* scratch) {
    const std::int32_t last = c.last_stage;
    Leaf(c, x, y, c.stages[last].blocks, scratch);
    for (std::int32_t i = last; i >= first; --i) Pass(c, i, y, y, c.stages[i].blocks, scratch);
  }

  // Stage d (1..K): y = the DFT of length rd·nd of x at stride sd.
  static void Level(const dft_context* context, const float* x, float* y, std::int32_t d,
                    float* scratch) {
    const dft_context& c = *context;
    const dft_stage& stage = c.stages[d];
    if (dft::BreadthFirst(stage) && d != c.last_stage) {
      BreadthFirstRun(c, d, x, y, scratch);
      return;
    }
    if (d == c.last_stage) {
      Leaf(c, x, y, 1, scratch);
    } else {
      for (std::ptrdiff_t j = 0; j < stage.radix; ++j) {
        V::kLevel.template Get<D>()(context, x + 2 * j * stage.stride, y + 2 * j * stage.rest,
                                    d + 1, scratch);
      }
    }
    Pass(c, d, y, y, 1, scratch);
  }

  static void Top(const dft_context* context, const float* src, float* dst, std::uint8_t* work) {
    const dft_context& c = *context;
    const std::int32_t n = c.length;
    float* b = dst;
    auto* scratch = reinterpret_cast<float*>(work);
    if (src == dst) {
      b = reinterpret_cast<float*>(work);
      scratch = reinterpret_cast<float*>(work + 8 * std::size_t(n));
      scratch += DistanceToBoundary(scratch, 16) / sizeof(float);
    }
    const dft_stage& first = c.stages[0];
    if (n <= QVLS_DFT_BREADTH_FIRST_LIMIT && c.last_stage >= 1) {
      BreadthFirstRun(c, 1, src, b, scratch);
    } else if (c.last_stage >= 1) {
      for (std::ptrdiff_t j = 0; j < first.radix; ++j) {
        V::kLevel.template Get<D>()(context, src + 2 * j, b + 2 * j * first.rest, 1, scratch);
      }
    } else {
      Leaf(c, src, b, 1, scratch);
    }
    Pass(c, 0, b, dst, 1, scratch);
  }
};

}  // namespace qvls::dft_mixed

// The drivers of variant `tag` over its policy V.
#define QVLS_DEFINE_DFT_MIXED_DRIVERS(tag, V)                                                  \
  void qvlsDFTFwdMixed_cf32_##tag(const dft_context* context, const float* src, float* dst,    \
                                  std::uint8_t* work) {                                        \
    qvls::dft_mixed::Driver<V, qvls::transforms::Direction::kForward>::Top(context, src, dst,  \
                                                                           work);              \
  }                                                                                            \
  void qvlsDFTInvMixed_cf32_##tag(const dft_context* context, const float* src, float* dst,    \
                                  std::uint8_t* work) {                                        \
    qvls::dft_mixed::Driver<V, qvls::transforms::Direction::kInverse>::Top(context, src, dst,  \
                                                                           work);              \
  }                                                                                            \
  void qvlsDFTFwdMixedLevel_cf32_##tag(const dft_context* context, const float* x, float* y,   \
                                       std::int32_t d, float* scratch) {                       \
    qvls::dft_mixed::Driver<V, qvls::transforms::Direction::kForward>::Level(context, x, y, d, \
                                                                             scratch);         \
  }                                                                                            \
  void qvlsDFTInvMixedLevel_cf32_##tag(const dft_context* context, const float* x, float* y,   \
                                       std::int32_t d, float* scratch) {                       \
    qvls::dft_mixed::Driver<V, qvls::transforms::Direction::kInverse>::Level(context, x, y, d, \
                                                                             scratch);         \
  }

// The policy `name` of variant `tag`: its own kernels, except the radix-2
// and radix-4 passes, taken from the variants named for each direction.
#define QVLS_DFT_MIXED_KERNEL_SET(Dir, tag, radix2, radix4)                                     \
  {                                                                                             \
    qvlsDFT##Dir##Leaf3_cf32_##tag##_kernel, qvlsDFT##Dir##Leaf5_cf32_##tag##_kernel,           \
        qvlsDFT##Dir##LeafOdd_cf32_##tag##_kernel, qvlsDFT##Dir##Radix2_cf32_##radix2##_kernel, \
        qvlsDFT##Dir##Radix3_cf32_##tag##_kernel, qvlsDFT##Dir##Radix4_cf32_##radix4##_kernel,  \
        qvlsDFT##Dir##Radix5_cf32_##tag##_kernel, qvlsDFT##Dir##RadixOdd_cf32_##tag##_kernel    \
  }
#define QVLS_DEFINE_DFT_MIXED_POLICY(name, tag, fwd_radix2, fwd_radix4, inv_radix2, inv_radix4) \
  struct name {                                                                                 \
    static constexpr qvls::dft_mixed::MixedKernels kForwardKernels =                            \
        QVLS_DFT_MIXED_KERNEL_SET(Fwd, tag, fwd_radix2, fwd_radix4);                            \
    static constexpr qvls::dft_mixed::MixedKernels kInverseKernels =                            \
        QVLS_DFT_MIXED_KERNEL_SET(Inv, tag, inv_radix2, inv_radix4);                            \
    static constexpr qvls::transforms::ByDirection<qvlsDFTMixedLevel_cf32_fn> kLevel = {        \
        qvlsDFTFwdMixedLevel_cf32_##tag, qvlsDFTInvMixedLevel_cf32_##tag};                      \
  };
