// The float conversions in 128-bit registers, eight elements per step. To
// 16 bits: the SIMD control register is set for the call (round to nearest;
// see CallMxcsr); mode QVLS_ROUND_NEAREST converts under it, every other mode
// with the truncating conversion. Each element is multiplied by the factor
// in single precision (not at all for sf = 0), a NaN made 0, limited to
// 32767.0 from above, converted to 32 bits and packed with signed
// saturation. Single elements until the source is on its 16-byte boundary,
// then eight per step (separate loops by scaling, rounding and the
// alignment of source and destination), then tails of 4, 2 and 1.
#include "siglib/convert/convert.h"
#include "siglib/convert/elements.h"
#include "siglib/convert/float_rules.h"
#include "siglib/memory/alignment.h"
#include "siglib/memory/vector_access.h"

namespace {

using namespace qvls::convert;
using namespace qvls::sse2;
using qvls::IsOnBoundary;

__m128i SignExtendLow4(__m128i v) {
  return _mm_srai_epi32(_mm_unpacklo_epi16(_mm_setzero_si128(), v), 16);
}
__m128i SignExtendHigh4(__m128i v) {
  return _mm_srai_epi32(_mm_unpackhi_epi16(_mm_setzero_si128(), v), 16);
}

template <int kMultiplies, bool kTruncate>
__m128i ToIntegers(__m128 x, const SingleFactors& f) {
  if constexpr (kMultiplies >= 1) x = _mm_mul_ps(x, _mm_set1_ps(f.first));
  if constexpr (kMultiplies == 2) x = _mm_mul_ps(x, _mm_set1_ps(f.second));
  x = _mm_and_ps(x, _mm_cmpord_ps(x, x));
  x = _mm_min_ps(x, _mm_set1_ps(32767.0f));
  return kTruncate ? _mm_cvttps_epi32(x) : _mm_cvtps_epi32(x);
}

template <int kMultiplies, bool kTruncate, bool kAlignedSource, bool kAlignedDestination>
std::size_t Eights(const float* src, std::int16_t* dst, std::size_t n, const SingleFactors& f) {
  std::size_t i = 0;
  for (; n - i >= 8; i += 8) {
    const __m128 low = kAlignedSource ? _mm_load_ps(src + i) : _mm_loadu_ps(src + i);
    const __m128 high = kAlignedSource ? _mm_load_ps(src + i + 4) : _mm_loadu_ps(src + i + 4);
    const __m128i packed = _mm_packs_epi32(ToIntegers<kMultiplies, kTruncate>(low, f),
                                           ToIntegers<kMultiplies, kTruncate>(high, f));
    if constexpr (kAlignedDestination) {
      Store16(dst + i, packed);
    } else {
      StoreUnaligned16(dst + i, packed);
    }
  }
  return i;
}

template <int kMultiplies, bool kTruncate>
void ConvertToIntegers(const float* src, std::int16_t* dst, std::size_t n, const SingleFactors& f) {
  auto packed = [&](__m128 x) {
    const __m128i v = ToIntegers<kMultiplies, kTruncate>(x, f);
    return _mm_packs_epi32(v, v);
  };
  std::size_t i = 0;
  const bool lanes_align = IsOnBoundary(src, 4);
  for (; lanes_align && i < n && !IsOnBoundary(src + i, 16); ++i) {
    StoreAt(dst, i,
            static_cast<std::int16_t>(_mm_cvtsi128_si32(packed(_mm_set_ss(LoadAt(src, i))))));
  }
  const bool aligned_source = lanes_align;
  const bool aligned_destination = IsOnBoundary(dst + i, 16);
  const std::size_t rest = n - i;
  if (aligned_source && aligned_destination) {
    i += Eights<kMultiplies, kTruncate, true, true>(src + i, dst + i, rest, f);
  } else if (aligned_source) {
    i += Eights<kMultiplies, kTruncate, true, false>(src + i, dst + i, rest, f);
  } else if (aligned_destination) {
    i += Eights<kMultiplies, kTruncate, false, true>(src + i, dst + i, rest, f);
  } else {
    i += Eights<kMultiplies, kTruncate, false, false>(src + i, dst + i, rest, f);
  }
  if (n - i >= 4) {
    Store8(dst + i, packed(_mm_loadu_ps(src + i)));
    i += 4;
  }
  if (n - i >= 2) {
    Store4(dst + i, packed(_mm_castsi128_ps(Load8(src + i))));
    i += 2;
  }
  if (i < n) {
    StoreAt(dst, i,
            static_cast<std::int16_t>(_mm_cvtsi128_si32(packed(_mm_set_ss(LoadAt(src, i))))));
  }
}

template <int kMultiplies>
void ConvertToIntegers(const float* src, std::int16_t* dst, std::size_t n, const SingleFactors& f,
                       bool truncate) {
  if (truncate) {
    ConvertToIntegers<kMultiplies, true>(src, dst, n, f);
  } else {
    ConvertToIntegers<kMultiplies, false>(src, dst, n, f);
  }
}

}  // namespace

// Single elements until the destination is on its 16-byte boundary, then
// eight per step (16-byte loads, aligned or not by the source, and aligned
// stores), then tails of 4, 2 and 1.
void qvlsConvert_i16tof32_w7_kernel(const std::int16_t* src, float* dst, std::int32_t len) {
  if (len <= 0) return;
  const auto n = static_cast<std::size_t>(len);
  auto one = [&](std::size_t i) { StoreAt(dst, i, static_cast<float>(LoadAt(src, i))); };
  std::size_t i = 0;
  const bool lanes_align = IsOnBoundary(dst, 4);
  for (; lanes_align && i < n && !IsOnBoundary(dst + i, 16); ++i) one(i);
  const bool aligned_source = IsOnBoundary(src + i, 16);
  for (; n - i >= 8; i += 8) {
    const __m128i v = aligned_source ? Load16(src + i) : LoadUnaligned16(src + i);
    const __m128 low = _mm_cvtepi32_ps(SignExtendLow4(v));
    const __m128 high = _mm_cvtepi32_ps(SignExtendHigh4(v));
    if (lanes_align) {
      _mm_store_ps(dst + i, low);
      _mm_store_ps(dst + i + 4, high);
    } else {
      _mm_storeu_ps(dst + i, low);
      _mm_storeu_ps(dst + i + 4, high);
    }
  }
  if (n - i >= 4) {
    _mm_storeu_ps(dst + i, _mm_cvtepi32_ps(SignExtendLow4(Load8(src + i))));
    i += 4;
  }
  if (n - i >= 2) {
    const __m128 pair = _mm_cvtepi32_ps(SignExtendLow4(Load4(src + i)));
    _mm_storel_pi(reinterpret_cast<__m64*>(dst + i), pair);
    i += 2;
  }
  if (i < n) one(i);
}

void qvlsConvert_f32toi16_sc_w7_kernel(const float* src, std::int16_t* dst, std::int32_t len,
                                       std::int32_t rounding, std::int32_t sf) {
  if (len <= 0) return;
  const CallMxcsr call(kMxcsrRoundNearest);
  const SingleFactors f = SplitFactor(ClampScaleFactor(sf));
  const bool truncate = rounding != QVLS_ROUND_NEAREST;
  const auto n = static_cast<std::size_t>(len);
  switch (f.count) {
    case 0:
      ConvertToIntegers<0>(src, dst, n, f, truncate);
      break;
    case 1:
      ConvertToIntegers<1>(src, dst, n, f, truncate);
      break;
    default:
      ConvertToIntegers<2>(src, dst, n, f, truncate);
  }
}

qvls_status qvlsConvert_i16tof32_w7(const std::int16_t* src, float* dst, std::int32_t len) {
  return Checked<qvlsConvert_i16tof32_w7_kernel>(src, dst, len);
}

qvls_status qvlsConvert_f32toi16_sc_w7(const float* src, std::int16_t* dst, std::int32_t len,
                                       std::int32_t rounding, std::int32_t sf) {
  return Checked<qvlsConvert_f32toi16_sc_w7_kernel>(src, dst, len, rounding, sf);
}
