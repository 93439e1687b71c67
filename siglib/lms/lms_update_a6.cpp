// LMS update, a6 variant: 64-bit packed-integer kernels with the word insert
// and word shuffle, for a scaled error that fits a 16-bit word. The error s
// sits in the low word of both 32-bit lanes beside a zero word; the
// multiply-add of that with a lane whose low word is a sample gives s*x
// exactly in 32 bits, which is added to the taps in place.
//
// Real, stride 1: 16 taps per step (remainders 8, 4, 2, 1), each sample
// doubled into its lane. Stride 2 with the window on an 8-byte boundary: 8
// taps per step, each lane's first sample of four contiguous ones taken.
// Otherwise, and for larger strides, 8 taps per step gathered with the word
// insert (remainders 4, 2, 1). Complex: the error as the word pairs {a, b}
// and {b, -a}, one multiply-add with a sample doubled by the word shuffle
// giving the real and the imaginary increment of one tap; 4 taps per step
// (remainders 2, 1).
#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstdint>

#include "siglib/lms/lms_blocks.h"
#include "siglib/lms/lms_kernels.h"
#include "siglib/lms/lms_scalar.h"
#include "siglib/memory/alignment.h"
#include "siglib/memory/vector_access.h"

namespace qvls::lms::a6 {
namespace {

using mmx::Get4;
using mmx::Get8;
using mmx::Put8;

void AddToTaps(std::int32_t* t, __m64 increments) { Put8(t, _mm_add_pi32(Get8(t), increments)); }

void RealStride1(std::int32_t* t, const std::int16_t* x, std::int32_t n, std::int32_t s,
                 __m64 error) {
  ByBlocks<16>(n, [&]<std::int32_t kTaps>(std::int32_t i) {
    if constexpr (kTaps == 1) {
      RealUpdateScalar(t + i, x + i, 1, 1, s);
    } else if constexpr (kTaps == 2) {
      const __m64 samples = Get4(x + i);
      AddToTaps(t + i, _mm_madd_pi16(_mm_unpacklo_pi16(samples, samples), error));
    } else {
      for (std::int32_t j = i; j < i + kTaps; j += 4) {
        const __m64 samples = Get8(x + j);
        AddToTaps(t + j, _mm_madd_pi16(_mm_unpacklo_pi16(samples, samples), error));
        AddToTaps(t + j + 2, _mm_madd_pi16(_mm_unpackhi_pi16(samples, samples), error));
      }
    }
  });
}

// Stride 2 on an 8-byte boundary (kGather false), or any stride gathered.
template <bool kGather>
void RealPairs(std::int32_t* t, const std::int16_t* x, std::int32_t n, std::int32_t step,
               std::int32_t s, __m64 error) {
  ByBlocks<8>(n, [&]<std::int32_t kTaps>(std::int32_t i) {
    if constexpr (kTaps == 1) {
      RealUpdateScalar(t + i, x + static_cast<std::ptrdiff_t>(i) * step, 1, step, s);
    } else {
      for (std::int32_t j = i; j < i + kTaps; j += 2) {
        const std::int16_t* first = x + static_cast<std::ptrdiff_t>(j) * step;
        const __m64 samples =
            kGather
                ? _mm_insert_pi16(_mm_insert_pi16(_mm_setzero_si64(), first[0], 0), first[step], 2)
                : Get8(first);
        AddToTaps(t + j, _mm_madd_pi16(samples, error));
      }
    }
  });
}

}  // namespace

void RealUpdate(lms_state& state, std::int32_t s) {
  const std::int16_t* x = SampleAt<Kind::kReal>(state, UpdateStart(state));
  const __m64 error = _mm_set1_pi32(s & 0xFFFF);
  const std::int32_t step = state.delayStep;
  if (step == 1) {
    RealStride1(state.taps, x, state.tapsLen, s, error);
  } else if (step == 2 && IsOnBoundary(x, 8)) {
    RealPairs<false>(state.taps, x, state.tapsLen, 2, s, error);
  } else {
    RealPairs<true>(state.taps, x, state.tapsLen, step, s, error);
  }
  _mm_empty();
}

void ComplexUpdate(lms_state& state, std::int32_t a, std::int32_t b) {
  const std::int16_t* x = SampleAt<Kind::kComplex>(state, UpdateStart(state));
  const std::int32_t step = state.delayStep;
  std::int32_t* t = state.taps;
  const auto wa = static_cast<std::int16_t>(a);
  const auto wb = static_cast<std::int16_t>(b);
  const __m64 error = _mm_setr_pi16(wa, wb, wb, static_cast<std::int16_t>(-a));
  constexpr int kFirst = _MM_SHUFFLE(1, 0, 1, 0);   // {xr, xi, xr, xi} of the low sample
  constexpr int kSecond = _MM_SHUFFLE(3, 2, 3, 2);  // the same of the high sample
  auto one_tap = [&](std::int32_t j, __m64 doubled) {
    AddToTaps(t + 2 * j, _mm_madd_pi16(doubled, error));
  };
  ByBlocks<4>(state.tapsLen, [&]<std::int32_t kTaps>(std::int32_t i) {
    const std::int16_t* first = x + 2 * static_cast<std::ptrdiff_t>(i) * step;
    if constexpr (kTaps == 1) {
      one_tap(i, _mm_shuffle_pi16(Get4(first), kFirst));
    } else {
      for (std::int32_t j = 0; j < kTaps; j += 2) {
        const std::int16_t* pair = first + 2 * static_cast<std::ptrdiff_t>(j) * step;
        const __m64 samples =
            step == 1
                ? Get8(pair)
                : _mm_unpacklo_pi32(Get4(pair), Get4(pair + 2 * static_cast<std::ptrdiff_t>(step)));
        one_tap(i + j, _mm_shuffle_pi16(samples, kFirst));
        one_tap(i + j + 1, _mm_shuffle_pi16(samples, kSecond));
      }
    }
  });
  _mm_empty();
}

}  // namespace qvls::lms::a6
