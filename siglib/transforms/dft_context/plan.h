// The mixed-radix plan of a length N: its factorisation into stages, the
// breadth-first groups (`blocks`), the stage twiddles, the leaf offsets and
// the work size. The same in every variant.
#pragma once

#include <algorithm>
#include <cstdint>

#include "siglib/frame/unaligned.h"
#include "siglib/memory/memory.h"
#include "siglib/transforms/dft_context/dft_context.h"
#include "siglib/transforms/dft_context/roots_table.h"
#include "siglib/transforms/dft_context/table_blocks.h"

namespace qvls::dft {

// The largest prime the plan and the direct kernel take; lengths above it
// that are prime or have a larger prime factor go to Bluestein's algorithm.
inline constexpr std::int32_t kLargestDirect = 150;

// The stages of N >= 5 (not a power of two): radix 4 while 4 divides, one
// radix 2 put first when a factor 2 is left, then every odd prime factor in
// ascending order as often as it divides, except one copy of the largest,
// the leaf factor L. 0 when there is no stage or L > 150 (N is then prime,
// or has a prime factor above 150); the context is written only on success.
// A length below 2^31 has at most 18 stages: with the leaf's record they
// fit the 20 records.
inline std::int32_t Factorize(dft_context* context, std::int32_t n) {
  std::int32_t radices[QVLS_DFT_STAGE_RECORDS];
  std::int32_t count = 0;
  std::int32_t b = n;
  while (b % 4 == 0) {
    radices[count++] = 4;
    b /= 4;
  }
  if (b % 2 == 0) {
    radices[count++] = 4;
    radices[0] = 2;
    b /= 2;
  }
  for (std::int32_t j = 3; b >= j * j;) {
    if (b % j == 0) {
      radices[count++] = j;
      b /= j;
    } else if ((j += 2) > kLargestDirect) {
      return 0;
    }
  }
  if (count == 0 || b > kLargestDirect) return 0;
  std::int32_t stride = 1;
  for (std::int32_t i = 0; i < count; ++i) {
    dft_stage& stage = context->stages[i];
    stage.radix = radices[i];
    stage.stride = stride;
    stride *= radices[i];
    stage.rest = n / stride;
  }
  context->last_stage = count - 1;
  return 1;
}

// 8N + 8D + 16 bytes, D the largest radix or rest of all stages: the full
// intermediate array, the odd kernels' scratch and 16 bytes for rounding a
// caller's buffer up to a boundary.
inline std::int64_t MixedWorkBytes(const dft_context& context) {
  std::int64_t d = 0;
  for (std::int32_t i = 0; i <= context.last_stage; ++i) {
    d = std::max<std::int64_t>({d, context.stages[i].radix, context.stages[i].rest});
  }
  return 8 * std::int64_t{context.length} + 8 * d + 16;
}

// Whether stage i's sub-transforms (ri·ni elements) run breadth-first.
inline bool BreadthFirst(const dft_stage& stage) {
  return std::int64_t{stage.radix} * stage.rest <= QVLS_DFT_BREADTH_FIRST_LIMIT;
}

// The twiddles of a stage from the roots table of N: at position k < n, the
// factors W_N^(k·m·g) (g the stage's stride), m = 1..r-1 at k·(r-1) + m-1
// for the radices up to 5, m = 0..R-1 at k·R + m for an odd R > 5. The
// block holds r·n elements.
inline float* BuildTwiddles(const dft_stage& stage, const float* roots) {
  const std::int32_t r = stage.radix;
  const std::int32_t n = stage.rest;
  float* twiddles = AllocateArray<float>(2 * std::int64_t{r} * n);
  if (twiddles == nullptr) return nullptr;
  const bool small = r <= 5;
  const std::int32_t first = small ? 1 : 0;
  const std::int64_t row = small ? r - 1 : r;
  for (std::int64_t k = 0; k < n; ++k) {
    for (std::int64_t m = first; m < r; ++m) {
      PutRoot(twiddles, k * row + m - first, RootAt(roots, k * m * stage.stride));
    }
  }
  return twiddles;
}

// The leaf offsets: the mixed-radix digit reversal of the last group's
// blocks, scaled by the stride of the group's first stage. From the single
// entry 0, stages K-1 down to 0: while the count c is below bK, r copies,
// copy q holding r·old + q; once c = bK, every entry times r.
inline std::int32_t* BuildLeafOffsets(const dft_context& context) {
  const std::int32_t last = context.last_stage;
  const std::int32_t count = context.stages[last].blocks;
  auto* offsets = AllocateArray<std::int32_t>(count);
  if (offsets == nullptr) return nullptr;
  StoreAt(offsets, 0, 0);
  std::int32_t c = 1;
  for (std::int32_t i = last - 1; i >= 0; --i) {
    const std::int32_t r = context.stages[i].radix;
    if (c < count) {
      // Copy 0 last and downwards, so that each old entry is read before
      // it is overwritten.
      for (std::int32_t q = r - 1; q >= 0; --q) {
        for (std::int32_t t = c - 1; t >= 0; --t) {
          StoreAt(offsets, q * c + t, r * LoadAt(offsets, t) + q);
        }
      }
      c *= r;
    } else {
      for (std::int32_t t = 0; t < count; ++t) StoreAt(offsets, t, r * LoadAt(offsets, t));
    }
  }
  return offsets;
}

// The plan's tables from the roots table of N, into a factorised context:
// per stage its blocks, its roots (odd radices above 5: one subset shared
// by consecutive equal radices, and the leaf's in the record after the last
// stage), its twiddles; then the work size and the leaf offsets. -9 when a
// table cannot be allocated; what was stored stays for the release.
template <class V>
qvls_status InitMixed(dft_context* context, const float* roots) {
  const std::int32_t last = context->last_stage;
  const std::int32_t leaf = context->stages[last].rest;
  const std::int32_t n = context->length;
  std::int32_t built_radix = 0;
  dft_roots_table* built = nullptr;
  std::int32_t blocks = 1;
  for (std::int32_t i = 0; i <= last; ++i) {
    dft_stage& stage = context->stages[i];
    stage.blocks = blocks;
    if (stage.radix > 5) {
      if (stage.radix != built_radix) {
        built = V::RootsSubset(stage.radix, roots, n);
        if (built == nullptr) return QVLS_ERR_MEM_ALLOCATED;
        built_radix = stage.radix;
      }
      stage.roots = built;
    }
    if (i == last && leaf > 5) {
      if (leaf != built_radix) {
        built = V::RootsSubset(leaf, roots, n);
        if (built == nullptr) return QVLS_ERR_MEM_ALLOCATED;
      }
      context->stages[last + 1].roots = built;
    }
    stage.twiddles = BuildTwiddles(stage, roots);
    if (stage.twiddles == nullptr) return QVLS_ERR_MEM_ALLOCATED;
    blocks = BreadthFirst(stage) ? blocks * stage.radix : 1;
  }
  context->work_size = static_cast<std::int32_t>(MixedWorkBytes(*context));
  context->leaf_offsets = BuildLeafOffsets(*context);
  return context->leaf_offsets == nullptr ? QVLS_ERR_MEM_ALLOCATED : QVLS_OK;
}

// The plan's tables back to the pool: every record's twiddles and roots, a
// roots table that consecutive records share freed once.
inline void FreeMixed(dft_context* context) {
  const dft_roots_table* freed = nullptr;
  for (std::int32_t i = 0; i <= context->last_stage + 1; ++i) {
    dft_stage& stage = context->stages[i];
    qvlsFree_px(stage.twiddles);
    if (stage.roots != nullptr && stage.roots != freed) {
      qvlsFree_px(stage.roots);
      freed = stage.roots;
    }
  }
}

}  // namespace qvls::dft
