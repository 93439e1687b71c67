// How the kernels walk the taps: steps of the widest block while that many
// taps remain, then one block for each set bit of the remainder, widest
// first (for 16: 8, 4, 2 and 1). The block is a generic lambda
// [&]<std::int32_t kTaps>(std::int32_t first_tap) { ... }.
#pragma once

#include <cstdint>

namespace qvls::lms {
namespace {

template <std::int32_t kWidth, class Block>
void RemainderBlocks(std::int32_t n, std::int32_t i, Block& block) {
  if constexpr (kWidth >= 1) {
    if ((n & kWidth) != 0) {
      block.template operator()<kWidth>(i);
      i += kWidth;
    }
    RemainderBlocks<kWidth / 2>(n, i, block);
  }
}

template <std::int32_t kWidest, class Block>
void ByBlocks(std::int32_t n, Block&& block) {
  static_assert((kWidest & (kWidest - 1)) == 0, "the widest block is a power of two");
  std::int32_t i = 0;
  for (; n - i >= kWidest; i += kWidest) block.template operator()<kWidest>(i);
  RemainderBlocks<kWidest / 2>(n, i, block);
}

}  // namespace
}  // namespace qvls::lms
