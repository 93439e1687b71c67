// The windows, a6 variant: the single-precision algorithm with four samples
// per 64-bit load and store at each end.
#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstring>

#include "siglib/window/window_entries.h"
#include "siglib/window/window_rules.h"

namespace {

struct Packing {
  static void Scale4(const std::int16_t* in, std::int16_t* out, __m128 w) {
    __m64 x;
    std::memcpy(&x, in, sizeof x);
    const __m64 y = _mm_cvtps_pi16(_mm_mul_ps(_mm_cvtpi16_ps(x), w));
    std::memcpy(out, &y, sizeof y);
  }
  static void Release() { _mm_empty(); }
};

using qvls::window::Run;
using qvls::window::Shape;
using qvls::window::SinglePrecision;

}  // namespace

qvls_status qvlsWinHamming_i16_a6(const std::int16_t* src, std::int16_t* dst, std::int32_t len) {
  return Run(src, dst, len, SinglePrecision<Shape::kHamming, Packing>);
}

qvls_status qvlsWinHann_i16_a6(const std::int16_t* src, std::int16_t* dst, std::int32_t len) {
  return Run(src, dst, len, SinglePrecision<Shape::kHann, Packing>);
}

qvls_status qvlsWinHann_i16_ip_a6(std::int16_t* srcdst, std::int32_t len) {
  return Run(srcdst, srcdst, len, SinglePrecision<Shape::kHann, Packing>);
}
