// LMS output, a6 variant: 64-bit packed-integer kernels with the word insert
// and word shuffle. Each tap's signed high half becomes a 16-bit word and the
// multiply-add of pairs forms 32-bit sums of two products per lane; the two
// lanes are added at the end, modulo 2^32 like the scalar sum.
//
// Real, stride 1: 8 taps per step at any window start (remainders 4, 2, 1).
// Stride 2 with the window on an 8-byte boundary: each tap's high half in the
// low word of its lane beside a zero word, so the multiply-add of four
// contiguous samples takes the first and the third. Otherwise, and for
// larger strides, the samples are gathered with the word insert. Complex:
// the high halves of the real and imaginary parts of two taps in one
// register, 4 taps per step (remainders 2, 1); one multiply-add with the
// samples gives the real part, a second with each sample's words swapped by
// the word shuffle the imaginary part.
#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstdint>
#include <utility>

#include "siglib/lms/lms_blocks.h"
#include "siglib/lms/lms_kernels.h"
#include "siglib/lms/lms_scalar.h"
#include "siglib/memory/alignment.h"
#include "siglib/memory/vector_access.h"

namespace qvls::lms::a6 {
namespace {

using mmx::Get4;
using mmx::Get8;

// The high halves of four (or two) consecutive 32-bit tap words as 16-bit
// words, the rest of the register 0.
template <int kWords>
__m64 HighHalves(const std::int32_t* t) {
  const __m64 low = _mm_srai_pi32(Get8(t), 16);
  if constexpr (kWords == 4) {
    return _mm_packs_pi32(low, _mm_srai_pi32(Get8(t + 2), 16));
  } else {
    static_assert(kWords == 2);
    return _mm_packs_pi32(low, _mm_setzero_si64());
  }
}

// Four (or two) consecutive 16-bit words of the delay line.
template <int kWords>
__m64 Contiguous(const std::int16_t* x) {
  if constexpr (kWords == 4) {
    return Get8(x);
  } else {
    static_assert(kWords == 2);
    return Get4(x);
  }
}

// kWords samples step apart, inserted word by word.
template <int kWords>
__m64 Gathered(const std::int16_t* x, std::int32_t step) {
  return [&]<int... k>(std::integer_sequence<int, k...>) {
    __m64 v = _mm_setzero_si64();
    ((v = _mm_insert_pi16(v, x[static_cast<std::ptrdiff_t>(k) * step], k)), ...);
    return v;
  }
  (std::make_integer_sequence<int, kWords>{});
}

std::int32_t LaneSum(__m64 v) {
  return WrapAdd32(_mm_cvtsi64_si32(v), _mm_cvtsi64_si32(_mm_srli_si64(v, 32)));
}

// Stride 1 (kGather false) or any stride with gathered samples.
template <bool kGather>
std::int32_t RealPacked(const std::int32_t* t, const std::int16_t* x, std::int32_t n,
                        std::int32_t step) {
  __m64 acc = _mm_setzero_si64();
  std::int32_t last = 0;
  ByBlocks<8>(n, [&]<std::int32_t kTaps>(std::int32_t i) {
    if constexpr (kTaps == 1) {
      last = RealOutputScalar(t + i, x + static_cast<std::ptrdiff_t>(i) * step, 1, step);
    } else {
      constexpr int kWidth = kTaps < 4 ? kTaps : 4;
      for (std::int32_t j = i; j < i + kTaps; j += kWidth) {
        const std::int16_t* first = x + static_cast<std::ptrdiff_t>(j) * step;
        const __m64 samples = kGather ? Gathered<kWidth>(first, step) : Contiguous<kWidth>(first);
        acc = _mm_add_pi32(acc, _mm_madd_pi16(HighHalves<kWidth>(t + j), samples));
      }
    }
  });
  const std::int32_t sum = LaneSum(acc);
  _mm_empty();
  return WrapAdd32(sum, last);
}

// Stride 2, window on an 8-byte boundary: two taps per multiply-add, the
// high halves logically shifted down beside a zero word. The last lane reads
// one sample past its tap's, which the doubled line always holds.
std::int32_t RealStride2(const std::int32_t* t, const std::int16_t* x, std::int32_t n) {
  __m64 acc = _mm_setzero_si64();
  std::int32_t last = 0;
  ByBlocks<8>(n, [&]<std::int32_t kTaps>(std::int32_t i) {
    if constexpr (kTaps == 1) {
      last = RealOutputScalar(t + i, x + 2 * i, 1, 2);
    } else {
      for (std::int32_t j = i; j < i + kTaps; j += 2) {
        const __m64 h = _mm_srli_pi32(Get8(t + j), 16);
        acc = _mm_add_pi32(acc, _mm_madd_pi16(h, Get8(x + 2 * j)));
      }
    }
  });
  const std::int32_t sum = LaneSum(acc);
  _mm_empty();
  return WrapAdd32(sum, last);
}

// Two complex samples step samples apart, 32 bits each.
__m64 Pairs(const std::int16_t* x, std::int32_t step) {
  if (step == 1) return Get8(x);
  return _mm_unpacklo_pi32(Get4(x), Get4(x + 2 * static_cast<std::ptrdiff_t>(step)));
}

}  // namespace

std::int32_t RealOutput(const lms_state& s) {
  const std::int16_t* x = SampleAt<Kind::kReal>(s, OutputStart(s));
  if (s.delayStep == 1) return RealPacked<false>(s.taps, x, s.tapsLen, 1);
  if (s.delayStep == 2 && IsOnBoundary(x, 8)) return RealStride2(s.taps, x, s.tapsLen);
  return RealPacked<true>(s.taps, x, s.tapsLen, s.delayStep);
}

// Per lane, with H = (hr, hi) and X = (xr, xi): the real part as
// (hr, NOT hi) . (xr, xi) + xi = hr*xr - hi*xi, so -32768 is never negated
// (NOT hi = -hi - 1; the sample's imaginary word, shifted down
// arithmetically, adds the xi back); the imaginary part as (hr, hi) . (xi, xr).
qvls_ci32 ComplexOutput(const lms_state& s) {
  const std::int16_t* x = SampleAt<Kind::kComplex>(s, OutputStart(s));
  const std::int32_t* t = s.taps;
  const std::int32_t step = s.delayStep;
  const __m64 not_imaginary = _mm_set1_pi32(static_cast<int>(0xFFFF0000u));
  __m64 re = _mm_setzero_si64();
  __m64 im = _mm_setzero_si64();
  qvls_ci32 last{0, 0};
  ByBlocks<4>(s.tapsLen, [&]<std::int32_t kTaps>(std::int32_t i) {
    if constexpr (kTaps == 1) {
      last = ComplexOutputScalar(t + 2 * i, x + 2 * static_cast<std::ptrdiff_t>(i) * step, 1, step);
    } else {
      for (std::int32_t j = i; j < i + kTaps; j += 2) {
        const __m64 h = HighHalves<4>(t + 2 * j);
        const __m64 samples = Pairs(x + 2 * static_cast<std::ptrdiff_t>(j) * step, step);
        const __m64 swapped = _mm_shuffle_pi16(samples, _MM_SHUFFLE(2, 3, 0, 1));
        re = _mm_add_pi32(re, _mm_madd_pi16(_mm_xor_si64(h, not_imaginary), samples));
        re = _mm_add_pi32(re, _mm_srai_pi32(samples, 16));
        im = _mm_add_pi32(im, _mm_madd_pi16(h, swapped));
      }
    }
  });
  const qvls_ci32 sum{LaneSum(re), LaneSum(im)};
  _mm_empty();
  return {WrapAdd32(sum.re, last.re), WrapAdd32(sum.im, last.im)};
}

}  // namespace qvls::lms::a6
