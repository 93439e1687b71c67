// The large-order set-up, one code over a variant policy V
// (fft_large_<variant>.cpp):
//
//   struct V {
//     static constexpr SplitTable kSplits;
//     static constexpr bool kBlockPath;             // false in w7
//     static constexpr MatrixLayout kMatrix;
//     TwiddleTable(m, sine, r), BlockTwiddles (with the block path), InitSplit
//   };
#pragma once

#include <algorithm>
#include <cstdint>

#include "siglib/transforms/fft_context/fft_context.h"
#include "siglib/transforms/fft_large/split_matrix.h"
#include "siglib/transforms/fft_large/split_tables.h"

namespace qvls::fft_large {

// An order the block path takes: its merge table, and the leaves' radix
// table of order 10.
template <class V>
qvls_status InitBlock(fft_context* context, std::int32_t n, const float* sine, std::int32_t r) {
  context->block_twiddles = V::BlockTwiddles(n, sine, r);
  if (context->block_twiddles == nullptr) return QVLS_ERR_MEM_ALLOCATED;
  context->twiddles = V::TwiddleTable(kBlockLeafOrder, sine, r);
  return context->twiddles == nullptr ? QVLS_ERR_MEM_ALLOCATED : QVLS_OK;
}

// The level of order n at `depth`: what its sub-transforms need (the leaf
// table, the level below, or the block path's tables), its column table, its
// matrix, and the rows in the work size.
template <class V>
qvls_status InitSplit(fft_context* context, std::int32_t n, const float* sine, std::int32_t r,
                      std::int32_t depth) {
  const std::int32_t s = V::kSplits.Of(n);
  const std::int32_t q = n - s;
  qvls_status status = QVLS_OK;
  if (q <= V::kSplits.leaf_limit) {
    context->twiddles = V::TwiddleTable(q, sine, r);
    if (context->twiddles == nullptr) status = QVLS_ERR_MEM_ALLOCATED;
  } else if (V::kSplits.Of(q) != 0) {
    status = V::InitSplit(context, q, sine, r, depth + 1);
  } else if constexpr (V::kBlockPath) {
    status = InitBlock<V>(context, q, sine, r);
  }
  if (status != QVLS_OK) return status;
  context->column_twiddles[depth] = V::TwiddleTable(s, sine, r);
  if (context->column_twiddles[depth] == nullptr) return QVLS_ERR_MEM_ALLOCATED;
  context->split_twiddles[depth] = BuildSplitMatrix<V::kMatrix>(n, s, sine, r);
  if (context->split_twiddles[depth] == nullptr) return QVLS_ERR_MEM_ALLOCATED;
  context->work_size = std::max(context->work_size, RowBytes(s));
  return QVLS_OK;
}

template <class V>
qvls_status InitLarge(fft_context* context, std::int32_t n, const float* sine, std::int32_t r) {
  if constexpr (V::kBlockPath) {
    if (V::kSplits.Of(n) == 0) return InitBlock<V>(context, n, sine, r);
  }
  return V::InitSplit(context, n, sine, r, 0);
}

}  // namespace qvls::fft_large
