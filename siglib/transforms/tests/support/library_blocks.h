// Blocks from the library's builders (lists, tables) held for a scope and
// given back with the library's free, and the bit reversal the tests
// compute for themselves.
#pragma once

#include <cstdint>
#include <memory>

#include "siglib/memory/memory.h"

namespace qvls_test::transforms {

struct LibraryFree {
  void operator()(void* block) const { qvlsFree_px(block); }
};
template <class T>
using LibraryBlock = std::unique_ptr<T, LibraryFree>;

// i with its `bits` low bits in reverse order.
constexpr std::int32_t ReverseBits(std::int32_t i, std::int32_t bits) {
  std::int32_t r = 0;
  for (std::int32_t b = 0; b < bits; ++b) r |= ((i >> b) & 1) << (bits - 1 - b);
  return r;
}

}  // namespace qvls_test::transforms
