// The square-root rule as every variant applies it: the argument checks, the
// scale-factor ranges, the two ranges whose results are fixed, and the walk
// over the elements that scalar routines share.
//
// Rule: an element x >= 0 becomes sqrt(x) * 2^-sf rounded to the nearest
// integer (ties to even) and limited to 32767; a negative element becomes 0
// and makes the result QVLS_WARN_SQRT_NEGATIVE.
#pragma once

#include <cstdint>

#include "siglib/frame/types.h"
#include "siglib/frame/unaligned.h"

namespace qvls::sqrt {

// From this scale factor up every result is 0: the largest root, 181.02,
// times 2^-9 is below one half.
inline constexpr std::int32_t kAllZeroFrom = 9;
// From this scale factor down every positive element gives 32767: the
// smallest positive root times 2^15 is 32768.
inline constexpr std::int32_t kAllSaturateTo = -15;

constexpr bool IsFixedRange(std::int32_t sf) { return sf >= kAllZeroFrom || sf <= kAllSaturateTo; }

// Calls root(x) for every element x >= 0 and stores what it returns; a
// negative element is stored as 0. Returns whether an element was negative.
template <class Root>
bool ForEachElement(std::int16_t* srcdst, std::int32_t len, Root&& root) {
  bool negative = false;
  for (std::int32_t i = 0; i < len; ++i) {
    const std::int32_t x = LoadAt(srcdst, i);
    negative |= x < 0;
    StoreAt(srcdst, i, static_cast<std::int16_t>(x < 0 ? 0 : root(x)));
  }
  return negative;
}

// The two ranges with fixed results: sf >= 9 writes 0, sf <= -15 writes
// 32767 for a positive element and keeps 0.
inline bool FixedRange(std::int16_t* srcdst, std::int32_t len, std::int32_t sf) {
  const std::int32_t positive = sf >= kAllZeroFrom ? 0 : 32767;
  return ForEachElement(srcdst, len, [=](std::int32_t x) { return x == 0 ? 0 : positive; });
}

// A variant's entry around its kernel: the checks in their order, the fixed
// ranges, and the status from whether an element was negative.
// kernel(srcdst, len, sf) returns that.
template <class Kernel>
qvls_status Run(std::int16_t* srcdst, std::int32_t len, std::int32_t sf, Kernel&& kernel) {
  if (srcdst == nullptr) return QVLS_ERR_NULL_POINTER;
  if (len <= 0) return QVLS_ERR_DATA_SIZE;
  const bool negative = IsFixedRange(sf) ? FixedRange(srcdst, len, sf) : kernel(srcdst, len, sf);
  return negative ? QVLS_WARN_SQRT_NEGATIVE : QVLS_OK;
}

}  // namespace qvls::sqrt
