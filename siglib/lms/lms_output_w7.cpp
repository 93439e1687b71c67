// LMS output, w7 variant: 128-bit integer kernels. Each tap's signed high
// half becomes a 16-bit word and the multiply-add of pairs forms 32-bit sums
// of two products per lane; the lanes are added at the end. The sums wrap
// modulo 2^32 like the scalar ones, so the result is the scalar result.
//
// Real, stride 1: 16 taps per step, the window read by aligned loads when it
// starts on a 16-byte boundary and by unaligned ones otherwise. Stride 2:
// each tap's high half in the low word of its lane beside a zero word, so the
// multiply-add of the contiguous samples takes every second one. Stride 3 or
// more: the samples gathered word by word. The remainder goes as 8, 4, 2 and
// 1 taps. Complex: the high halves of the real and imaginary parts side by
// side, 8 taps per step (remainders 4, 2, 1): one multiply-add with the
// samples gives the real part, a second with each sample's words swapped the
// imaginary part.
#include <emmintrin.h>

#include <cstdint>
#include <utility>

#include "siglib/lms/lms_blocks.h"
#include "siglib/lms/lms_kernels.h"
#include "siglib/lms/lms_scalar.h"
#include "siglib/memory/alignment.h"
#include "siglib/memory/vector_access.h"

namespace qvls::lms::w7 {
namespace {

using sse2::Load16;
using sse2::Load4;
using sse2::Load8;
using sse2::LoadUnaligned16;

// The high halves of kWords consecutive 32-bit tap words (8, 4 or 2) as
// 16-bit words, the rest of the register 0. Taps are 32-byte aligned and
// every block starts a multiple of its size in, so the loads are aligned.
template <int kWords>
__m128i HighHalves(const std::int32_t* t) {
  const __m128i zero = _mm_setzero_si128();
  if constexpr (kWords == 8) {
    return _mm_packs_epi32(_mm_srai_epi32(Load16(t), 16), _mm_srai_epi32(Load16(t + 4), 16));
  } else if constexpr (kWords == 4) {
    return _mm_packs_epi32(_mm_srai_epi32(Load16(t), 16), zero);
  } else {
    static_assert(kWords == 2);
    return _mm_packs_epi32(_mm_srai_epi32(Load8(t), 16), zero);
  }
}

// kWords consecutive 16-bit words (8, 4 or 2) from the delay line.
template <int kWords, bool kAligned = false>
__m128i Contiguous(const std::int16_t* x) {
  if constexpr (kWords == 8) {
    return kAligned ? Load16(x) : LoadUnaligned16(x);
  } else if constexpr (kWords == 4) {
    return Load8(x);
  } else {
    static_assert(kWords == 2);
    return Load4(x);
  }
}

// kWords samples step apart, inserted word by word.
template <int kWords>
__m128i Gathered(const std::int16_t* x, std::int32_t step) {
  return [&]<int... k>(std::integer_sequence<int, k...>) {
    __m128i v = _mm_setzero_si128();
    ((v = _mm_insert_epi16(v, x[static_cast<std::ptrdiff_t>(k) * step], k)), ...);
    return v;
  }
  (std::make_integer_sequence<int, kWords>{});
}

// kPairs complex samples (4 or 2) step samples apart, 32 bits each.
template <int kPairs>
__m128i GatheredPairs(const std::int16_t* x, std::int32_t step) {
  const std::ptrdiff_t d = 2 * static_cast<std::ptrdiff_t>(step);
  const __m128i low = _mm_unpacklo_epi32(Load4(x), Load4(x + d));
  if constexpr (kPairs == 2) {
    return low;
  } else {
    static_assert(kPairs == 4);
    return _mm_unpacklo_epi64(low, _mm_unpacklo_epi32(Load4(x + 2 * d), Load4(x + 3 * d)));
  }
}

std::int32_t LaneSum(__m128i v) {
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
  return _mm_cvtsi128_si32(v);
}

// Stride 1: eight taps per multiply-add.
template <bool kAligned>
std::int32_t RealStride1(const std::int32_t* t, const std::int16_t* x, std::int32_t n) {
  __m128i acc = _mm_setzero_si128();
  std::int32_t last = 0;
  ByBlocks<16>(n, [&]<std::int32_t kTaps>(std::int32_t i) {
    if constexpr (kTaps == 1) {
      last = RealOutputScalar(t + i, x + i, 1, 1);
    } else {
      constexpr int kWidth = kTaps < 8 ? kTaps : 8;
      for (std::int32_t j = i; j < i + kTaps; j += kWidth) {
        const __m128i h = HighHalves<kWidth>(t + j);
        acc = _mm_add_epi32(acc, _mm_madd_epi16(h, Contiguous<kWidth, kAligned>(x + j)));
      }
    }
  });
  return WrapAdd32(LaneSum(acc), last);
}

// Stride 2: the high halves of four taps logically shifted down to the low
// words of their lanes; the multiply-add with eight contiguous samples then
// pairs each tap with the first sample of its lane. A block's last lane
// reads one sample past its last tap's, which the doubled line always holds.
std::int32_t RealStride2(const std::int32_t* t, const std::int16_t* x, std::int32_t n) {
  __m128i acc = _mm_setzero_si128();
  std::int32_t last = 0;
  ByBlocks<16>(n, [&]<std::int32_t kTaps>(std::int32_t i) {
    if constexpr (kTaps == 1) {
      last = RealOutputScalar(t + i, x + 2 * i, 1, 2);
    } else if constexpr (kTaps == 2) {
      const __m128i h = _mm_srli_epi32(Load8(t + i), 16);
      acc = _mm_add_epi32(acc, _mm_madd_epi16(h, Load8(x + 2 * i)));
    } else {
      for (std::int32_t j = i; j < i + kTaps; j += 4) {
        const __m128i h = _mm_srli_epi32(Load16(t + j), 16);
        acc = _mm_add_epi32(acc, _mm_madd_epi16(h, LoadUnaligned16(x + 2 * j)));
      }
    }
  });
  return WrapAdd32(LaneSum(acc), last);
}

// Stride 3 or more: eight samples gathered per multiply-add.
std::int32_t RealGathered(const std::int32_t* t, const std::int16_t* x, std::int32_t n,
                          std::int32_t step) {
  __m128i acc = _mm_setzero_si128();
  std::int32_t last = 0;
  ByBlocks<16>(n, [&]<std::int32_t kTaps>(std::int32_t i) {
    if constexpr (kTaps == 1) {
      last = RealOutputScalar(t + i, x + static_cast<std::ptrdiff_t>(i) * step, 1, step);
    } else {
      constexpr int kWidth = kTaps < 8 ? kTaps : 8;
      for (std::int32_t j = i; j < i + kTaps; j += kWidth) {
        const __m128i samples = Gathered<kWidth>(x + static_cast<std::ptrdiff_t>(j) * step, step);
        acc = _mm_add_epi32(acc, _mm_madd_epi16(HighHalves<kWidth>(t + j), samples));
      }
    }
  });
  return WrapAdd32(LaneSum(acc), last);
}

}  // namespace

std::int32_t RealOutput(const lms_state& s) {
  const std::int16_t* x = SampleAt<Kind::kReal>(s, OutputStart(s));
  switch (s.delayStep) {
    case 1:
      return IsOnBoundary(x, 16) ? RealStride1<true>(s.taps, x, s.tapsLen)
                                 : RealStride1<false>(s.taps, x, s.tapsLen);
    case 2:
      return RealStride2(s.taps, x, s.tapsLen);
    default:
      return RealGathered(s.taps, x, s.tapsLen, s.delayStep);
  }
}

// Per lane, with H = (hr, hi) and X = (xr, xi): the real part as
// (hr, NOT hi) . (xr, xi) + xi = hr*xr - hi*xi, so -32768 is never negated
// (NOT hi = -hi - 1; the sample's imaginary word, shifted down
// arithmetically, adds the xi back); the imaginary part as (hr, hi) . (xi, xr).
qvls_ci32 ComplexOutput(const lms_state& s) {
  const std::int16_t* x = SampleAt<Kind::kComplex>(s, OutputStart(s));
  const std::int32_t* t = s.taps;
  const std::int32_t step = s.delayStep;
  const __m128i not_imaginary = _mm_set1_epi32(static_cast<int>(0xFFFF0000u));
  __m128i re = _mm_setzero_si128();
  __m128i im = _mm_setzero_si128();
  qvls_ci32 last{0, 0};
  auto add = [&](__m128i h, __m128i samples) {
    const __m128i swapped = _mm_shufflehi_epi16(
        _mm_shufflelo_epi16(samples, _MM_SHUFFLE(2, 3, 0, 1)), _MM_SHUFFLE(2, 3, 0, 1));
    re = _mm_add_epi32(re, _mm_madd_epi16(_mm_xor_si128(h, not_imaginary), samples));
    re = _mm_add_epi32(re, _mm_srai_epi32(samples, 16));
    im = _mm_add_epi32(im, _mm_madd_epi16(h, swapped));
  };
  ByBlocks<8>(s.tapsLen, [&]<std::int32_t kTaps>(std::int32_t i) {
    if constexpr (kTaps == 1) {
      last = ComplexOutputScalar(t + 2 * i, x + 2 * static_cast<std::ptrdiff_t>(i) * step, 1, step);
    } else {
      constexpr int kWidth = kTaps < 4 ? kTaps : 4;
      for (std::int32_t j = i; j < i + kTaps; j += kWidth) {
        const std::int16_t* first = x + 2 * static_cast<std::ptrdiff_t>(j) * step;
        const __m128i samples =
            step == 1 ? Contiguous<2 * kWidth>(first) : GatheredPairs<kWidth>(first, step);
        add(HighHalves<2 * kWidth>(t + 2 * j), samples);
      }
    }
  });
  return {WrapAdd32(LaneSum(re), last.re), WrapAdd32(LaneSum(im), last.im)};
}

}  // namespace qvls::lms::w7
