// LMS update, w7 variant: 128-bit integer kernels for a scaled error that
// fits a 16-bit word. The error s sits in the low word of every 32-bit lane
// beside a zero word; the multiply-add of that with a lane whose low word is
// a sample gives s*x exactly in 32 bits, whatever the lane's high word holds.
// The products are added to the taps in place with aligned loads and stores.
//
// Real: 16 taps per step (remainders 8, 4, 2, 1). Stride 1: four samples per
// 8-byte load, each doubled into its lane. Stride 2: eight contiguous samples
// per 16-byte load, aligned when the window starts on a 16-byte boundary,
// each lane's first sample taken. Stride 3 or more: gathered into the low
// words. Complex: the error as the word pairs {a, b} and {b, -a}, one
// multiply-add with a sample doubled into both lanes giving the real and the
// imaginary increment of one tap; 8 taps per step (remainders 4, 2, 1).
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
using sse2::Store16;
using sse2::Store8;

// Adds four (or two) 32-bit increments to the taps at t.
template <int kWords>
void AddToTaps(std::int32_t* t, __m128i increments) {
  if constexpr (kWords == 4) {
    Store16(t, _mm_add_epi32(Load16(t), increments));
  } else {
    static_assert(kWords == 2);
    Store8(t, _mm_add_epi32(Load8(t), increments));
  }
}

// kLanes samples step apart in the low words of their lanes, the high words 0.
template <int kLanes>
__m128i GatheredBesideZero(const std::int16_t* x, std::int32_t step) {
  return [&]<int... k>(std::integer_sequence<int, k...>) {
    __m128i v = _mm_setzero_si128();
    ((v = _mm_insert_epi16(v, x[static_cast<std::ptrdiff_t>(k) * step], 2 * k)), ...);
    return v;
  }
  (std::make_integer_sequence<int, kLanes>{});
}

void RealStride1(std::int32_t* t, const std::int16_t* x, std::int32_t n, std::int32_t s,
                 __m128i error) {
  ByBlocks<16>(n, [&]<std::int32_t kTaps>(std::int32_t i) {
    if constexpr (kTaps == 1) {
      RealUpdateScalar(t + i, x + i, 1, 1, s);
    } else if constexpr (kTaps == 2) {
      const __m128i samples = Load4(x + i);
      AddToTaps<2>(t + i, _mm_madd_epi16(_mm_unpacklo_epi16(samples, samples), error));
    } else {
      for (std::int32_t j = i; j < i + kTaps; j += 4) {
        const __m128i samples = Load8(x + j);
        AddToTaps<4>(t + j, _mm_madd_epi16(_mm_unpacklo_epi16(samples, samples), error));
      }
    }
  });
}

template <bool kAligned>
void RealStride2(std::int32_t* t, const std::int16_t* x, std::int32_t n, std::int32_t s,
                 __m128i error) {
  ByBlocks<16>(n, [&]<std::int32_t kTaps>(std::int32_t i) {
    if constexpr (kTaps == 1) {
      RealUpdateScalar(t + i, x + 2 * i, 1, 2, s);
    } else if constexpr (kTaps == 2) {
      AddToTaps<2>(t + i, _mm_madd_epi16(Load8(x + 2 * i), error));
    } else {
      for (std::int32_t j = i; j < i + kTaps; j += 4) {
        const __m128i samples = kAligned ? Load16(x + 2 * j) : LoadUnaligned16(x + 2 * j);
        AddToTaps<4>(t + j, _mm_madd_epi16(samples, error));
      }
    }
  });
}

void RealGathered(std::int32_t* t, const std::int16_t* x, std::int32_t n, std::int32_t step,
                  std::int32_t s, __m128i error) {
  ByBlocks<16>(n, [&]<std::int32_t kTaps>(std::int32_t i) {
    const std::int16_t* first = x + static_cast<std::ptrdiff_t>(i) * step;
    if constexpr (kTaps == 1) {
      RealUpdateScalar(t + i, first, 1, step, s);
    } else {
      constexpr int kWidth = kTaps < 4 ? kTaps : 4;
      for (std::int32_t j = 0; j < kTaps; j += kWidth) {
        const __m128i samples =
            GatheredBesideZero<kWidth>(first + static_cast<std::ptrdiff_t>(j) * step, step);
        AddToTaps<kWidth>(t + i + j, _mm_madd_epi16(samples, error));
      }
    }
  });
}

// Each of two (or one) complex samples doubled: {xr, xi, xr, xi} per tap.
template <int kPairs>
__m128i DoubledPairs(const std::int16_t* x, std::int32_t step) {
  if constexpr (kPairs == 1) {
    const __m128i sample = Load4(x);
    return _mm_unpacklo_epi32(sample, sample);
  } else {
    static_assert(kPairs == 2);
    const __m128i pairs =
        step == 1 ? Load8(x)
                  : _mm_unpacklo_epi32(Load4(x), Load4(x + 2 * static_cast<std::ptrdiff_t>(step)));
    return _mm_unpacklo_epi32(pairs, pairs);
  }
}

}  // namespace

void RealUpdate(lms_state& state, std::int32_t s) {
  const std::int16_t* x = SampleAt<Kind::kReal>(state, UpdateStart(state));
  const __m128i error = _mm_set1_epi32(s & 0xFFFF);
  switch (state.delayStep) {
    case 1:
      RealStride1(state.taps, x, state.tapsLen, s, error);
      return;
    case 2:
      if (IsOnBoundary(x, 16)) {
        RealStride2<true>(state.taps, x, state.tapsLen, s, error);
      } else {
        RealStride2<false>(state.taps, x, state.tapsLen, s, error);
      }
      return;
    default:
      RealGathered(state.taps, x, state.tapsLen, state.delayStep, s, error);
      return;
  }
}

void ComplexUpdate(lms_state& state, std::int32_t a, std::int32_t b) {
  const std::int16_t* x = SampleAt<Kind::kComplex>(state, UpdateStart(state));
  const std::int32_t step = state.delayStep;
  std::int32_t* t = state.taps;
  const auto wa = static_cast<std::int16_t>(a);
  const auto wb = static_cast<std::int16_t>(b);
  const auto minus_a = static_cast<std::int16_t>(-a);
  const __m128i error = _mm_setr_epi16(wa, wb, wb, minus_a, wa, wb, wb, minus_a);
  ByBlocks<8>(state.tapsLen, [&]<std::int32_t kTaps>(std::int32_t i) {
    if constexpr (kTaps == 1) {
      const __m128i samples = DoubledPairs<1>(x + 2 * static_cast<std::ptrdiff_t>(i) * step, step);
      AddToTaps<2>(t + 2 * i, _mm_madd_epi16(samples, error));
    } else {
      for (std::int32_t j = i; j < i + kTaps; j += 2) {
        const __m128i samples =
            DoubledPairs<2>(x + 2 * static_cast<std::ptrdiff_t>(j) * step, step);
        AddToTaps<4>(t + 2 * j, _mm_madd_epi16(samples, error));
      }
    }
  });
}

}  // namespace qvls::lms::w7
