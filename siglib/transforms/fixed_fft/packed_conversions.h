// The conversions around the fixed-point FFT in 64-bit packed-integer
// registers, one code behind the m6, a6 and w7 twins: blocks of 16 values,
// then 4, 2 and 1. Only instructions of the first packed-integer set are
// used, so every one of the three variants can run it.
#pragma once

#include <mmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "siglib/memory/vector_access.h"

namespace qvls::fixed_fft::packed {

using mmx::Get4;
using mmx::Get8;
using mmx::Put4;
using mmx::Put8;

// four(i) for blocks of 16 and then of 4 values, two(i) and one(i) for the
// rest.
template <class Four, class Two, class One>
void InBlocks(std::int32_t len, Four four, Two two, One one) {
  if (len <= 0) return;
  const auto n = static_cast<std::size_t>(len);
  std::size_t i = 0;
  for (; n - i >= 16; i += 16) {
    four(i);
    four(i + 4);
    four(i + 8);
    four(i + 12);
  }
  for (; n - i >= 4; i += 4) four(i);
  if (n - i >= 2) {
    two(i);
    i += 2;
  }
  if (n - i == 1) one(i);
  _mm_empty();
}

// Each value in the upper half of its 32-bit lane, shifted right
// arithmetically by 16 - shift.
inline void PreShift(const std::int16_t* src, std::int32_t* dst, std::int32_t len,
                     std::int32_t shift) {
  const __m64 count = _mm_cvtsi32_si64(16 - shift);
  const __m64 zero = _mm_setzero_si64();
  auto widen = [=](__m64 pair) { return _mm_sra_pi32(_mm_unpacklo_pi16(zero, pair), count); };
  InBlocks(
      len,
      [=](std::size_t i) {
        const __m64 v = Get8(src + i);
        Put8(dst + i, widen(v));
        Put8(dst + i + 2, _mm_sra_pi32(_mm_unpackhi_pi16(zero, v), count));
      },
      [=](std::size_t i) { Put8(dst + i, widen(Get4(src + i))); },
      [=](std::size_t i) {
        std::int16_t x;
        std::memcpy(&x, src + i, sizeof x);
        Put4(dst + i, widen(_mm_cvtsi32_si64(static_cast<std::uint16_t>(x))));
      });
}

// Two 32-bit lanes at a time through `lanes`, packed to 16 bits with signed
// saturation.
template <class Lanes>
void Narrow(const std::int32_t* src, std::int16_t* dst, std::int32_t len, Lanes lanes) {
  InBlocks(
      len,
      [=](std::size_t i) {
        Put8(dst + i, _mm_packs_pi32(lanes(Get8(src + i)), lanes(Get8(src + i + 2))));
      },
      [=](std::size_t i) {
        Put4(dst + i, _mm_packs_pi32(lanes(Get8(src + i)), lanes(Get8(src + i))));
      },
      [=](std::size_t i) {
        const __m64 v = lanes(Get4(src + i));
        const auto x = static_cast<std::int16_t>(_mm_cvtsi64_si32(_mm_packs_pi32(v, v)));
        std::memcpy(dst + i, &x, sizeof x);
      });
}

// v·2^-s with ties toward +infinity, without a rounding addition that can
// wrap: with v = 2q + r (r = v & 1),
//   floor((v + 2^(s-1)) / 2^s) = (q + ((2^(s-1) + r) >> 1)) >> (s - 1),
// and q + 2^(s-2) stays below 2^31 for every s up to 31. Shifts of 32 and
// more give 0 for every value; negative shifts saturate what 2^-s would
// carry beyond 16 bits.
inline void RoundingShift(const std::int32_t* src, std::int16_t* dst, std::int32_t len,
                          std::int32_t s) {
  if (s >= 32) {
    Narrow(src, dst, len, [](__m64) { return _mm_setzero_si64(); });
  } else if (s > 0) {
    const __m64 bias = _mm_set1_pi32(std::int32_t{1} << (s - 1));
    const __m64 one = _mm_set1_pi32(1);
    const __m64 count = _mm_cvtsi32_si64(s - 1);
    Narrow(src, dst, len, [=](__m64 v) {
      const __m64 half_bias = _mm_srli_pi32(_mm_add_pi32(bias, _mm_and_si64(v, one)), 1);
      return _mm_sra_pi32(_mm_add_pi32(_mm_srai_pi32(v, 1), half_bias), count);
    });
  } else if (s == 0) {
    Narrow(src, dst, len, [](__m64 v) { return v; });
  } else {
    const std::int32_t n = s < -31 ? 31 : -s;
    const __m64 count = _mm_cvtsi32_si64(n);
    const __m64 top = _mm_set1_pi32(32767 >> n);
    const __m64 bottom = _mm_set1_pi32(n >= 16 ? 0 : -32768 >> n);
    const __m64 top_result = _mm_set1_pi32(32767);
    const __m64 bottom_result = _mm_set1_pi32(-32768);
    Narrow(src, dst, len, [=](__m64 v) {
      const __m64 above = _mm_cmpgt_pi32(v, top);
      const __m64 below = _mm_cmpgt_pi32(bottom, v);
      const __m64 inside = _mm_andnot_si64(_mm_or_si64(above, below), _mm_sll_pi32(v, count));
      return _mm_or_si64(
          inside, _mm_or_si64(_mm_and_si64(above, top_result), _mm_and_si64(below, bottom_result)));
    });
  }
}

// floor(v·23170 / 2^15) for v = H·2^16 + L (L unsigned, 16 bits): with Ls
// the lower word read as signed and b its sign bit, L = Ls + 2^16·b, so the
// result is 2·H·23170 + b·46340 + floor(Ls·23170 / 2^15), each term from a
// signed 16-bit multiply-add.
inline __m64 TimesInvSqrt2(__m64 v) {
  const __m64 high = _mm_slli_pi32(_mm_madd_pi16(v, _mm_setr_pi16(0, 23170, 0, 23170)), 1);
  const __m64 low = _mm_srai_pi32(_mm_madd_pi16(v, _mm_setr_pi16(23170, 0, 23170, 0)), 15);
  const __m64 low_sign = _mm_srai_pi32(_mm_slli_pi32(v, 16), 31);
  return _mm_add_pi32(_mm_add_pi32(high, low), _mm_and_si64(low_sign, _mm_set1_pi32(46340)));
}

// Two values at a time from the end; an odd count leaves the first value for
// last.
inline void MulInvSqrt2(std::int32_t* data, std::int32_t len) {
  std::int32_t i = len;
  for (; i >= 2; i -= 2) Put8(data + i - 2, TimesInvSqrt2(Get8(data + i - 2)));
  if (i == 1) Put4(data, TimesInvSqrt2(Get4(data)));
  _mm_empty();
}

}  // namespace qvls::fixed_fft::packed
