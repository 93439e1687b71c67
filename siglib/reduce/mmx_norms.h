// The 64-bit kernels of the absolute-value and Euclidean norms, of which m6
// and a6 each build their own copy: m6 forms absolute values by sign mask
// (x XOR s) - s; a6 by the signed maximum of x and -x (the integer
// extensions of its instruction set) and prefetches 64 bytes ahead. An
// absolute value is read as unsigned, so -32768 counts as 32768.
// Each kernel releases the packed registers before it returns.
#pragma once

#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstdint>

#include "siglib/memory/vector_access.h"
#include "siglib/reduce/reduce_rules.h"
#include "siglib/reduce/reduce_walk.h"

namespace qvls::reduce::mmx {

using qvls::mmx::Get8;

enum class Flavor { kM6, kA6 };

template <Flavor kFlavor>
constexpr Prefetch kPrefetchOf = kFlavor == Flavor::kA6 ? Prefetch::kAhead64Bytes : Prefetch::kNone;

// Four absolute values as unsigned 16-bit lanes.
template <Flavor kFlavor>
__m64 Abs(__m64 x) {
  if constexpr (kFlavor == Flavor::kA6) {
    return _mm_max_pi16(x, _mm_sub_pi16(_mm_setzero_si64(), x));
  } else {
    const __m64 sign = _mm_srai_pi16(x, 15);
    return _mm_sub_pi16(_mm_xor_si64(x, sign), sign);
  }
}

// Four unsigned 16-bit lanes added into two 32-bit lanes.
inline __m64 AddWidened(__m64 total, __m64 x) {
  const __m64 zero = _mm_setzero_si64();
  return _mm_add_pi32(_mm_add_pi32(total, _mm_unpacklo_pi16(x, zero)), _mm_unpackhi_pi16(x, zero));
}

inline std::uint32_t LaneTotal(__m64 v) {
  return static_cast<std::uint32_t>(_mm_cvtsi64_si32(v)) +
         static_cast<std::uint32_t>(_mm_cvtsi64_si32(_mm_srli_si64(v, 32)));
}

// The sum of at most 65536 absolute values (each lane at most 2^30).
template <Flavor kFlavor>
std::uint32_t AbsSum(const std::int16_t* p, std::int32_t len) {
  __m64 total = _mm_setzero_si64();
  std::uint32_t singles = 0;
  Walk64<16, kPrefetchOf<kFlavor>>(
      p, len, [&](std::int32_t i) { total = AddWidened(total, Abs<kFlavor>(Get8(p + i))); },
      [&](std::int32_t i) { singles += AbsAt(p, i); });
  const std::uint32_t sum = LaneTotal(total) + singles;
  _mm_empty();
  return sum;
}

// The sum of squares: pairs of squares by multiply-add, each pair read as
// unsigned (two squares of -32768 give 2^31), added in 64 bits.
template <Flavor kFlavor>
std::uint64_t Squares(const std::int16_t* p, std::int32_t len) {
  std::uint64_t sum = 0;
  Walk64<16, kPrefetchOf<kFlavor>>(
      p, len,
      [&](std::int32_t i) {
        const __m64 x = Get8(p + i);
        const __m64 pairs = _mm_madd_pi16(x, x);
        sum += static_cast<std::uint32_t>(_mm_cvtsi64_si32(pairs));
        sum += static_cast<std::uint32_t>(_mm_cvtsi64_si32(_mm_srli_si64(pairs, 32)));
      },
      [&](std::int32_t i) { sum += SquareAt(p, i); });
  _mm_empty();
  return sum;
}

// The sum of at most 65536 absolute differences, eight per step: both
// vectors biased to unsigned, |a - b| as the OR of the two saturating
// unsigned differences.
template <Flavor kFlavor>
std::uint32_t AbsDiffSum(const std::int16_t* a, const std::int16_t* b, std::int32_t len) {
  const __m64 bias = _mm_set1_pi16(INT16_MIN);
  __m64 total = _mm_setzero_si64();
  std::uint32_t singles = 0;
  Walk64<8, kPrefetchOf<kFlavor>>(
      a, len,
      [&](std::int32_t i) {
        const __m64 x = _mm_xor_si64(Get8(a + i), bias);
        const __m64 y = _mm_xor_si64(Get8(b + i), bias);
        total = AddWidened(total, _mm_or_si64(_mm_subs_pu16(x, y), _mm_subs_pu16(y, x)));
      },
      [&](std::int32_t i) { singles += AbsDiffAt(a, b, i); });
  const std::uint32_t sum = LaneTotal(total) + singles;
  _mm_empty();
  return sum;
}

}  // namespace qvls::reduce::mmx
