// w7's 32-bit addition with a scale factor: the exact 33-bit sum, rounded,
// shifted and saturated, computed in 32-bit lanes of 128-bit registers (no
// 64-bit lanes), with a and b the two operands of each lane:
//
// - sf = 0: the wrapped sum s when its sign agrees with the exact sum's,
//   which is non-negative exactly when a > NOT b; otherwise 2^31 - 1 or -2^31
//   by that sign.
// - sf = 1: h = (a >> 1) + (b >> 1); h + (((a AND 1) + (b AND 1) + (h AND 1))
//   >> 1), the last shift logical.
// - sf = 2: h = (a >> 2) + (b >> 2), m = (a AND 3) + (b AND 3), t = (h + (m >>
//   2)) AND 1; h + ((m + 1 + t) >> 2).
// - 3 <= sf <= 32: h and m as for 2, t = bit sf - 2 of h; (h + ((m + 2^(sf-1)
//   - 1 + t) >> 2)) >> (sf - 2), the inner shift logical, the outer
//   arithmetic. (t differs from the exact bit only where it cannot change
//   the result.)
// - 1 <= k = -sf <= 30: the exact sum's sign is the wrapped sum's when the
//   operands' signs differ and a's otherwise; the result is s << k when the
//   top k + 1 bits of s all equal that sign, else it saturates by it.
//
// Vectors of 11 elements or more: a destination on a 4-byte boundary is
// brought to a 16-byte boundary by a one- and a two-element step, then 8
// elements per step, then a four-, a two- and a one-element step, each with
// the same lane arithmetic; a destination off a 4-byte boundary is done
// with unaligned accesses throughout. Shorter vectors go element by element.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "siglib/arith/arith_rules.h"
#include "siglib/arith/packed_ops.h"
#include "siglib/arith/vector_loop.h"
#include "siglib/memory/alignment.h"
#include "siglib/memory/vector_access.h"

namespace qvls::arith::w7 {

inline constexpr std::int32_t kAdd32VectorFrom = 11;

struct SaturatedSum {
  __m128i operator()(__m128i a, __m128i b) const {
    const __m128i ones = _mm_set1_epi32(-1);
    const __m128i s = Add32(a, b);
    const __m128i nonnegative = _mm_cmpgt_epi32(a, Xor(b, ones));
    const __m128i agree = Xor(nonnegative, Sra32(s, 31));  // all ones where the signs agree
    const __m128i bound = Xor(nonnegative, _mm_set1_epi32(-0x7FFFFFFF - 1));
    return Or(And(agree, s), AndNot(agree, bound));
  }
};

struct HalvedSum {
  __m128i operator()(__m128i a, __m128i b) const {
    const __m128i one = _mm_set1_epi32(1);
    const __m128i h = Add32(Sra32(a, 1), Sra32(b, 1));
    return Add32(h, Srl32(Add32(Add32(And(a, one), And(b, one)), And(h, one)), 1));
  }
};

struct QuarteredSum {
  __m128i operator()(__m128i a, __m128i b) const {
    const __m128i one = _mm_set1_epi32(1);
    const __m128i three = _mm_set1_epi32(3);
    const __m128i h = Add32(Sra32(a, 2), Sra32(b, 2));
    const __m128i m = Add32(And(a, three), And(b, three));
    const __m128i t = And(Add32(h, Srl32(m, 2)), one);
    return Add32(h, Srl32(Add32(Add32(m, one), t), 2));
  }
};

struct ScaledSum {
  explicit ScaledSum(std::int32_t sf)
      : bias(_mm_set1_epi32(static_cast<std::int32_t>((std::uint32_t{1} << (sf - 1)) - 1))),
        count(Count<Packed128>(sf - 2)) {}
  __m128i operator()(__m128i a, __m128i b) const {
    const __m128i one = _mm_set1_epi32(1);
    const __m128i three = _mm_set1_epi32(3);
    const __m128i h = Add32(Sra32(a, 2), Sra32(b, 2));
    const __m128i m = Add32(And(a, three), And(b, three));
    const __m128i t = And(Srl32(h, count), one);
    return Sra32(Add32(h, Srl32(Add32(Add32(m, bias), t), 2)), count);
  }
  __m128i bias;   // 2^(sf-1) - 1
  __m128i count;  // sf - 2
};

struct ShiftedSum {
  explicit ShiftedSum(std::int32_t k) : count(Count<Packed128>(k)), top(Count<Packed128>(31 - k)) {}
  __m128i operator()(__m128i a, __m128i b) const {
    const __m128i s = Add32(a, b);
    const __m128i signs_differ = Sra32(Xor(a, b), 31);
    const __m128i sign = Sra32(Or(And(signs_differ, s), AndNot(signs_differ, a)), 31);
    const __m128i fits = _mm_cmpeq_epi32(Srl32(Xor(s, sign), top), _mm_setzero_si128());
    const __m128i bound = Xor(sign, _mm_set1_epi32(0x7FFFFFFF));
    return Or(And(fits, Sll32(s, count)), AndNot(fits, bound));
  }
  __m128i count;  // k
  __m128i top;    // 31 - k: what remains of s above its top k + 1 bits
};

// kCount elements (1, 2 or 4) from srcdst[0] and src[0] through the lanes
// into srcdst.
template <std::int32_t kCount, bool kAlignedD = false, bool kAlignedS = false, class Lanes>
void AddLanes(const std::int32_t* src, std::int32_t* srcdst, const Lanes& lanes) {
  if constexpr (kCount == 1) {
    sse2::Store4(srcdst, lanes(sse2::Load4(srcdst), sse2::Load4(src)));
  } else if constexpr (kCount == 2) {
    sse2::Store8(srcdst, lanes(sse2::Load8(srcdst), sse2::Load8(src)));
  } else {
    static_assert(kCount == 4);
    const __m128i r = lanes(Load<Packed128, kAlignedD>(srcdst), Load<Packed128, kAlignedS>(src));
    Store<kAlignedD>(srcdst, r);
  }
}

// srcdst = lanes (srcdst, src) for len >= kAdd32VectorFrom.
template <class Lanes>
void AddVector32(const std::int32_t* src, std::int32_t* srcdst, std::int32_t len,
                 const Lanes& lanes) {
  std::int32_t i = 0;
  if (IsOnBoundary(srcdst, 4)) {
    if (!IsOnBoundary(srcdst, 8)) {
      AddLanes<1>(src, srcdst, lanes);
      i = 1;
    }
    if (!IsOnBoundary(srcdst + i, 16)) {
      AddLanes<2>(src + i, srcdst + i, lanes);
      i += 2;
    }
  }
  WithFlags(
      [&](auto aligned_d, auto aligned_s) {
        for (; len - i >= 8; i += 8) {
          AddLanes<4, aligned_d(), aligned_s()>(src + i, srcdst + i, lanes);
          AddLanes<4, aligned_d(), aligned_s()>(src + i + 4, srcdst + i + 4, lanes);
        }
      },
      IsOnBoundary(srcdst + i, 16), IsOnBoundary(src + i, 16));
  if (len - i >= 4) {
    AddLanes<4>(src + i, srcdst + i, lanes);
    i += 4;
  }
  if (len - i >= 2) {
    AddLanes<2>(src + i, srcdst + i, lanes);
    i += 2;
  }
  if (len - i >= 1) AddLanes<1>(src + i, srcdst + i, lanes);
}

}  // namespace qvls::arith::w7
