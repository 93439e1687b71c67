// The list builders, one code behind every variant's builder: all variants
// give the same words for the same order.
#pragma once

#include <cstdint>

#include "siglib/memory/memory.h"

namespace qvls::bitrev {

// Counts d = rev(m) alongside m = 1, 2, ... B - 1 (B = 2^(n-2)) without
// reversing bits: adding 1 at the top of the reversed word carries downward.
class ReversedCounter {
 public:
  explicit ReversedCounter(std::int32_t quarters) : half_(quarters / 2) {}

  // rev of the next m.
  std::int32_t Next() {
    std::int32_t e = half_;
    while (e <= d_) {
      d_ -= e;
      e /= 2;
    }
    d_ += e;
    return d_;
  }

 private:
  std::int32_t half_;
  std::int32_t d_ = 0;
};

inline std::int32_t QuarterCount(std::int32_t order) { return order < 2 ? 0 : 1 << (order - 2); }

// B + 1 words, the first set to 0 for orders 0 and 1.
inline std::int32_t* NewList(std::int32_t order) {
  const std::int32_t quarters = QuarterCount(order);
  std::int32_t* list = qvlsAlloc_i32(quarters + 1);
  if (list != nullptr && quarters == 0) list[0] = 0;
  return list;
}

inline std::int32_t* BuildSwapList(std::int32_t order) {
  std::int32_t* list = NewList(order);
  const std::int32_t quarters = QuarterCount(order);
  if (list == nullptr || quarters == 0) return list;
  std::int32_t pairs = 0;              // next pair position, from the start
  std::int32_t selves = quarters - 1;  // next self-reversed position, from the end
  ReversedCounter reversed(quarters);
  for (std::int32_t m = 1; m < quarters; ++m) {
    const std::int32_t d = reversed.Next();
    if (m < d) {
      list[pairs++] = 4 * m;
      list[pairs++] = 4 * d;
    } else if (m == d) {
      list[selves--] = 4 * m;
    }
  }
  list[pairs] = 0;
  list[quarters] = 0;
  return list;
}

inline std::int32_t* BuildQuarterList(std::int32_t order) {
  std::int32_t* list = NewList(order);
  const std::int32_t quarters = QuarterCount(order);
  if (list == nullptr || quarters == 0) return list;
  ReversedCounter reversed(quarters);
  list[0] = 0;
  for (std::int32_t m = 1; m < quarters; ++m) list[m] = 2 * reversed.Next();
  list[quarters] = 0;
  return list;
}

}  // namespace qvls::bitrev
