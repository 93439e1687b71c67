// The output scaling of fir_scaling.h on packed 32-bit sums, two lanes in a
// 64-bit packed register or four in a 128-bit one, with the packed
// variants' rule for large shifts. A right shift by r rounds without an
// addition that could wrap: with s = 2h + l (h = s >> 1, l = s & 1),
//
//   (s + 2^(r-1) - 1 + tie) >> r  =  (h + ((l + 2^(r-1) - 1 + tie) >> 1)) >> (r - 1),
//
// where tie is bit r of s. For r of 32 or more the rounding terms are
// masked off and the shift by 31 or more leaves the sign.
#pragma once

#include <emmintrin.h>
#include <mmintrin.h>

#include <cstdint>

#include "siglib/fir/fir_scaling.h"

namespace qvls::fir {

struct ShiftCounts {
  bool rounds;                // a right shift
  std::int32_t left;          // 0..32
  std::int32_t right;         // 1..32 when rounding
  std::int32_t bias;          // 2^(right-1) - 1, or 0 when everything is shifted out
  std::int32_t rounding_bit;  // 1, or 0 when everything is shifted out
};

constexpr ShiftCounts ShiftCountsFor(OutputScale scale) {
  if (scale.right == 0) return {false, scale.left, 0, 0, 0};
  if (scale.right >= 32) return {true, 0, 32, 0, 0};
  return {true, 0, scale.right, (std::int32_t{1} << (scale.right - 1)) - 1, 1};
}

// The 32-bit lane instructions of a register width.
struct LanesM64 {  // the caller ends its use of these registers with _mm_empty()
  using V = __m64;
  static __m64 Count(std::int32_t c) { return _mm_cvtsi32_si64(c); }
  static __m64 Splat(std::int32_t v) { return _mm_set1_pi32(v); }
  static __m64 Add(__m64 a, __m64 b) { return _mm_add_pi32(a, b); }
  static __m64 And(__m64 a, __m64 b) { return _mm_and_si64(a, b); }
  static __m64 ShiftLeft(__m64 v, __m64 count) { return _mm_sll_pi32(v, count); }
  static __m64 ShiftRight(__m64 v, __m64 count) { return _mm_sra_pi32(v, count); }
  static __m64 Half(__m64 v) { return _mm_srai_pi32(v, 1); }
};

struct LanesM128 {
  using V = __m128i;
  static __m128i Count(std::int32_t c) { return _mm_cvtsi32_si128(c); }
  static __m128i Splat(std::int32_t v) { return _mm_set1_epi32(v); }
  static __m128i Add(__m128i a, __m128i b) { return _mm_add_epi32(a, b); }
  static __m128i And(__m128i a, __m128i b) { return _mm_and_si128(a, b); }
  static __m128i ShiftLeft(__m128i v, __m128i count) { return _mm_sll_epi32(v, count); }
  static __m128i ShiftRight(__m128i v, __m128i count) { return _mm_sra_epi32(v, count); }
  static __m128i Half(__m128i v) { return _mm_srai_epi32(v, 1); }
};

// The scaling of every lane of a register by one exponent.
template <class L>
class PackedScale {
  using V = typename L::V;

 public:
  explicit PackedScale(OutputScale scale) {
    const ShiftCounts c = ShiftCountsFor(scale);
    rounds_ = c.rounds;
    left_ = L::Count(c.left);
    right_ = L::Count(c.right);
    right_less_one_ = L::Count(c.rounds ? c.right - 1 : 0);
    bias_ = L::Splat(c.bias);
    bit_ = L::Splat(c.rounding_bit);
  }

  V Apply(V sum) const {
    if (!rounds_) return L::ShiftLeft(sum, left_);
    const V tie = L::And(L::ShiftRight(sum, right_), bit_);
    const V low = L::And(sum, bit_);
    const V carry = L::Half(L::Add(L::Add(tie, low), bias_));
    return L::ShiftRight(L::Add(L::Half(sum), carry), right_less_one_);
  }

 private:
  bool rounds_;
  V left_, right_, right_less_one_, bias_, bit_;
};

using PackedScaleM64 = PackedScale<LanesM64>;
using PackedScaleM128 = PackedScale<LanesM128>;

}  // namespace qvls::fir
