// The large-order execution, one code over a variant policy V
// (fft_large_<variant>.cpp):
//
//   struct V {
//     static constexpr SplitTable kSplits;
//     static constexpr bool kVector;                 // a6, w7: the split-by-4 road
//     static constexpr bool kBlockPath;              // false in w7
//     kPasses (the in-place radix kernels), MulConst, kSplit (the level entries),
//     kBlock (the block path's entries), SubBlock<D> (the block path on a chunk),
//     Gather, Scatter (steps 2a and 2c of a level)
//   };
//
// A level of order n splits off s: the data are P = 2^s chunks of B = 2^q
// values (q = n - s), chunk i holding x(j·P + rev_s(i)), j < B, in
// bit-reversed order of q bits. Step 1 transforms every chunk (radix passes
// at a leaf, scaled as the direction says; the level below; or the block
// path). Step 2 takes the columns four at a time: each chunk's values
// k0..k0+3 times W^(rev_s(i)·k) into four rows of P values in the work
// buffer (in the order of i, that is bit-reversed, as the passes want them),
// the radix passes of order s on each row, and row u's value l back to
// chunk l, position k0 + u. Chunk l, position k then holds X(k + B·l).
#pragma once

#include <cstddef>
#include <cstdint>

#include "siglib/transforms/direction.h"
#include "siglib/transforms/fft_context/fft_context.h"
#include "siglib/transforms/fft_large/split_tables.h"

namespace qvls::fft_large {

using transforms::Direction;

constexpr std::int32_t DirectionFlag(Direction d) { return d == Direction::kForward ? 1 : 0; }

// The in-place radix passes on `count` values in bit-reversed order; the
// vector passes leave them split by 4 and use `work` (or nothing, when
// null) for data off a 16-byte boundary.
template <class V, Direction D>
void Passes(float* data, std::int32_t count, const float* twiddles, std::uint8_t* work) {
  if constexpr (V::kVector) {
    V::kPasses.template Get<D>()(data, count, twiddles, work, 0);
  } else {
    V::kPasses.template Get<D>()(data, count, twiddles);
  }
}

// A leaf of 2^q values: the passes, then the scaling of its 2^(q+1) floats
// when the direction is scaled (which scales the whole transform once, the
// rest of it being linear).
template <class V, Direction D>
void Leaf(const fft_context& context, float* chunk, std::int32_t q, std::uint8_t* work) {
  const std::int32_t count = std::int32_t{1} << q;
  Passes<V, D>(chunk, count, context.twiddles, work);
  const bool scaled = (D == Direction::kForward ? context.fwd_scaled : context.inv_scaled) != 0;
  if (scaled) V::MulConst(context.scale, chunk, 2 * count);
}

// One chunk of order q of a level at `depth`.
template <class V, Direction D>
void SubTransform(const fft_context& context, float* chunk, std::int32_t q, std::int32_t depth,
                  std::uint8_t* work) {
  if (q <= V::kSplits.leaf_limit) {
    Leaf<V, D>(context, chunk, q, work);
  } else if (V::kSplits.Of(q) != 0) {
    V::kSplit.template Get<D>()(&context, chunk, q, depth + 1, work);
  } else if constexpr (V::kBlockPath) {
    V::template SubBlock<D>(context, chunk, std::int32_t{1} << q, work);
  }
}

template <class V, Direction D>
void Split(const fft_context& context, float* data, std::int32_t n, std::int32_t depth,
           std::uint8_t* work) {
  const std::int32_t s = V::kSplits.Of(n);
  const std::int32_t q = n - s;
  const std::int32_t p = std::int32_t{1} << s;
  const std::int32_t b = std::int32_t{1} << q;
  for (std::ptrdiff_t i = 0; i < p; ++i) {
    SubTransform<V, D>(context, data + 2 * b * i, q, depth, work);
  }
  float* rows = reinterpret_cast<float*>(work);
  const float* twiddles = context.split_twiddles[depth];
  const float* column_twiddles = context.column_twiddles[depth];
  for (std::ptrdiff_t k0 = 0; k0 < b; k0 += 4, twiddles += 8 * std::ptrdiff_t{p}) {
    V::Gather(data + 2 * k0, rows, twiddles, DirectionFlag(D), b, p);
    for (std::ptrdiff_t u = 0; u < 4; ++u) {
      Passes<V, D>(rows + 2 * p * u, p, column_twiddles, nullptr);
    }
    V::Scatter(data + 2 * k0, rows, b, p, depth == 0 ? 1 : 0);
  }
}

template <class V, Direction D>
void Large(const fft_context& context, float* data, std::int32_t n, std::uint8_t* work) {
  if constexpr (V::kBlockPath) {
    if (V::kSplits.Of(n) == 0) {
      V::kBlock.template Get<D>()(&context, data, std::int32_t{1} << n, work);
      return;
    }
  }
  V::kSplit.template Get<D>()(&context, data, n, 0, work);
}

}  // namespace qvls::fft_large
