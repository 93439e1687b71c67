// The bit-by-bit root of four 16-bit elements in one 64-bit packed register,
// for sf 0 .. 8: the m6 kernel and the a6 kernel of sf 5 .. 8 use it. The
// caller releases the packed registers (_mm_empty) before it returns.
#pragma once

#include <mmintrin.h>

#include <cstdint>

namespace qvls::sqrt {

// Four results of lanes 0 <= x <= 32767 for 0 <= sf <= 8.
inline __m64 BitwiseRootScaled(__m64 x, std::int32_t sf) {
  const __m64 zero = _mm_setzero_si64();
  // r: the floor of the root with the bits below 2^sf left clear. A bit stays
  // when (r | b)^2 <= x, an unsigned comparison (the squares stay below 2^16):
  // the saturating difference square - x is then 0.
  __m64 r = zero;
  for (std::int32_t b = 128; b >= (1 << sf); b >>= 1) {
    const __m64 bit = _mm_set1_pi16(static_cast<std::int16_t>(b));
    const __m64 t = _mm_or_si64(r, bit);
    const __m64 keep = _mm_cmpeq_pi16(_mm_subs_pu16(_mm_mullo_pi16(t, t), x), zero);
    r = _mm_or_si64(r, _mm_and_si64(keep, bit));
  }
  if (sf == 0) {
    // r + 1 when x > r^2 + r (the sum saturated at 32767).
    const __m64 up = _mm_cmpgt_pi16(x, _mm_adds_pi16(_mm_mullo_pi16(r, r), r));
    return _mm_sub_pi16(r, up);
  }
  // c = r / 2^sf; the result is c + 1 when x + (1 if c is odd) > d^2 with
  // d = r + 2^(sf-1), unsigned (d^2 < 2^16, x + 1 <= 32768).
  const __m64 c = _mm_srl_pi16(r, _mm_cvtsi32_si64(sf));
  const __m64 one = _mm_set1_pi16(1);
  const __m64 d = _mm_add_pi16(r, _mm_set1_pi16(static_cast<std::int16_t>(1 << (sf - 1))));
  const __m64 lhs = _mm_add_pi16(x, _mm_and_si64(c, one));
  const __m64 not_up = _mm_cmpeq_pi16(_mm_subs_pu16(lhs, _mm_mullo_pi16(d, d)), zero);
  return _mm_add_pi16(_mm_add_pi16(c, one), not_up);
}

}  // namespace qvls::sqrt
