// The float conversions with 128-bit single-precision arithmetic and 64-bit
// packed integers. To 16 bits: the SIMD control register is set for the call
// (rounding by the mode; see CallMxcsr); each element is multiplied by the
// factor in single precision, a NaN made 0, limited to 32767.0 from above,
// converted to 32 bits under the rounding field and packed with signed
// saturation. Single elements until the source is on its 32-byte boundary,
// then eight per step with the source prefetched 64 bytes ahead.
#include <cstring>

#include "siglib/convert/convert.h"
#include "siglib/convert/elements.h"
#include "siglib/convert/float_rules.h"
#include "siglib/memory/alignment.h"
#include "siglib/memory/vector_access.h"

namespace {

using namespace qvls::convert;
using qvls::IsOnBoundary;
using qvls::mmx::Get8;
using qvls::mmx::Put8;

// Two 16-bit values (the low half of v) sign-extended and converted to floats
// in the low lanes of `into`.
__m128 ConvertPair(__m128 into, __m64 v) {
  const __m64 sign = _mm_cmpgt_pi16(_mm_setzero_si64(), v);
  return _mm_cvtpi32_ps(into, _mm_unpacklo_pi16(v, sign));
}

void StorePair(float* dst, __m128 v) { _mm_storel_pi(reinterpret_cast<__m64*>(dst), v); }

// Four lanes of x · factors, a NaN made 0, limited to 32767.0 from above.
template <int kMultiplies>
__m128 Scale(__m128 x, const SingleFactors& f) {
  if constexpr (kMultiplies >= 1) x = _mm_mul_ps(x, _mm_set1_ps(f.first));
  if constexpr (kMultiplies == 2) x = _mm_mul_ps(x, _mm_set1_ps(f.second));
  x = _mm_and_ps(x, _mm_cmpord_ps(x, x));
  return _mm_min_ps(x, _mm_set1_ps(32767.0f));
}

// Four lanes converted under the rounding field and packed to 16 bits.
__m64 ToIntegers(__m128 y) {
  return _mm_packs_pi32(_mm_cvtps_pi32(y), _mm_cvtps_pi32(_mm_movehl_ps(y, y)));
}

template <int kMultiplies>
void ConvertToIntegers(const float* src, std::int16_t* dst, std::size_t n, const SingleFactors& f) {
  auto one = [&](std::size_t i) {
    const __m64 packed = ToIntegers(Scale<kMultiplies>(_mm_set_ss(LoadAt(src, i)), f));
    StoreAt(dst, i, static_cast<std::int16_t>(_mm_cvtsi64_si32(packed)));
  };
  auto eights = [&](std::size_t i, auto load) {
    for (; n - i >= 8; i += 8) {
      _mm_prefetch(reinterpret_cast<const char*>(src + i + 16), _MM_HINT_NTA);
      Put8(dst + i, ToIntegers(Scale<kMultiplies>(load(src + i), f)));
      Put8(dst + i + 4, ToIntegers(Scale<kMultiplies>(load(src + i + 4), f)));
    }
    return i;
  };
  std::size_t i = 0;
  if (IsOnBoundary(src, 4)) {
    for (; i < n && !IsOnBoundary(src + i, 32); ++i) one(i);
    i = eights(i, [](const float* p) { return _mm_load_ps(p); });
  } else {
    i = eights(i, [](const float* p) { return _mm_loadu_ps(p); });
  }
  for (; i < n; ++i) one(i);
}

}  // namespace

// One element to reach an 8-byte destination boundary, then eight per step,
// two lanes converted at a time; then single elements.
void qvlsConvert_i16tof32_a6_kernel(const std::int16_t* src, float* dst, std::int32_t len) {
  if (len <= 0) return;
  const auto n = static_cast<std::size_t>(len);
  auto one = [&](std::size_t i) {
    StoreAt(dst, i, _mm_cvtss_f32(ConvertPair(_mm_setzero_ps(), _mm_cvtsi32_si64(LoadAt(src, i)))));
  };
  std::size_t i = 0;
  if (IsOnBoundary(dst, 4) && !IsOnBoundary(dst, 8)) one(i++);
  __m128 lanes = _mm_setzero_ps();
  for (; n - i >= 8; i += 8) {
    const __m64 a = Get8(src + i);
    const __m64 b = Get8(src + i + 4);
    lanes = ConvertPair(lanes, a);
    StorePair(dst + i, lanes);
    lanes = ConvertPair(lanes, _mm_srli_si64(a, 32));
    StorePair(dst + i + 2, lanes);
    lanes = ConvertPair(lanes, b);
    StorePair(dst + i + 4, lanes);
    lanes = ConvertPair(lanes, _mm_srli_si64(b, 32));
    StorePair(dst + i + 6, lanes);
  }
  for (; i < n; ++i) one(i);
  _mm_empty();
}

void qvlsConvert_f32toi16_sc_a6_kernel(const float* src, std::int16_t* dst, std::int32_t len,
                                       std::int32_t rounding, std::int32_t sf) {
  if (len <= 0) return;
  const CallMxcsr call(rounding == QVLS_ROUND_NEAREST ? kMxcsrRoundNearest : kMxcsrRoundTowardZero);
  const SingleFactors f = SplitFactor(ClampScaleFactor(sf));
  const auto n = static_cast<std::size_t>(len);
  switch (f.count) {
    case 0:
      ConvertToIntegers<0>(src, dst, n, f);
      break;
    case 1:
      ConvertToIntegers<1>(src, dst, n, f);
      break;
    default:
      ConvertToIntegers<2>(src, dst, n, f);
  }
  _mm_empty();
}

qvls_status qvlsConvert_i16tof32_a6(const std::int16_t* src, float* dst, std::int32_t len) {
  return Checked<qvlsConvert_i16tof32_a6_kernel>(src, dst, len);
}

qvls_status qvlsConvert_f32toi16_sc_a6(const float* src, std::int16_t* dst, std::int32_t len,
                                       std::int32_t rounding, std::int32_t sf) {
  return Checked<qvlsConvert_f32toi16_sc_a6_kernel>(src, dst, len, rounding, sf);
}
