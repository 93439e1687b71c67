// The windows, w7 variant: the single-precision algorithm with four samples
// per step at each end widened, converted and packed in 128-bit registers.
#include <emmintrin.h>

#include "siglib/window/window_entries.h"
#include "siglib/window/window_rules.h"

namespace {

struct Packing {
  static void Scale4(const std::int16_t* in, std::int16_t* out, __m128 w) {
    const __m128i x = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in));
    const __m128i wide = _mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16);
    const __m128i y = _mm_cvtps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(wide), w));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(y, y));
  }
  static void Release() {}
};

using qvls::window::Run;
using qvls::window::Shape;
using qvls::window::SinglePrecision;

}  // namespace

qvls_status qvlsWinHamming_i16_w7(const std::int16_t* src, std::int16_t* dst, std::int32_t len) {
  return Run(src, dst, len, SinglePrecision<Shape::kHamming, Packing>);
}

qvls_status qvlsWinHann_i16_w7(const std::int16_t* src, std::int16_t* dst, std::int32_t len) {
  return Run(src, dst, len, SinglePrecision<Shape::kHann, Packing>);
}

qvls_status qvlsWinHann_i16_ip_w7(std::int16_t* srcdst, std::int32_t len) {
  return Run(srcdst, srcdst, len, SinglePrecision<Shape::kHann, Packing>);
}
