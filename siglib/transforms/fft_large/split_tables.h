// How each variant decomposes the complex orders above its direct limit.
// Split s > 0 for order n: 2^s sub-transforms of order n - s, then 2^(n-s)
// column transforms of order s. A sub-order up to the leaf limit is done by
// the radix passes; a larger one is looked up again (one level deeper);
// split 0 sends the order to the block path (1024-point leaves joined by
// radix-2 merges), which px, m6 and a6 take at 11 and 12 and w7 never
// takes. Entries below the first large order are never read.
//
//   px, m6, a6: 11, 12 block; 13 = 5+8 ... 20 = 10+10; 21 = 10+block(11),
//               22 = 10+block(12); 23 = 8+(7+8) ... 30 = 10+(10+10).
//   w7:         15 = 5+10, 16 = 4+12, 17 = 3+14, 18 = 4+14, 19 = 11+8 ...
//               28 = 14+14; 29 = 10+(11+8), 30 = 10+(12+8).
#pragma once

#include <cstdint>

namespace qvls::fft_large {

struct SplitTable {
  std::int32_t leaf_limit;  // the largest order the radix passes take
  std::int32_t split[31];   // by order

  constexpr std::int32_t Of(std::int32_t order) const { return split[order]; }
};

// px; m6 and a6 read the same values.
inline constexpr SplitTable kPxSplits = {
    10, {0, 0, 0, 0, 0, 0, 0, 0, 0,  0,  0,                                       // 0..10
         0, 0, 5, 6, 7, 8, 8, 8, 10, 10, 10, 10, 8, 8, 10, 10, 10, 10, 10, 10}};  // 11..30
inline constexpr SplitTable kW7Splits = {
    14, {0, 0, 0, 0, 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,         // 0..14
         5, 4, 3, 4, 11, 12, 11, 12, 12, 12, 11, 12, 13, 14, 10, 10}};  // 15..30

// The order of the block path's leaves.
inline constexpr std::int32_t kBlockLeafOrder = 10;

// Bytes of the four column rows of a level that splits off 2^s columns.
constexpr std::int32_t RowBytes(std::int32_t s) { return 32 * (std::int32_t{1} << s); }

}  // namespace qvls::fft_large
