// The phase, a6 variant: four elements per step, split into sign-extended
// real and imaginary parts with 64-bit packed integers, converted to four
// single-precision lanes, and the results converted back under the SIMD
// rounding mode and packed with signed saturation.
#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstdint>
#include <cstring>

#include "siglib/phase/phase_entries.h"
#include "siglib/phase/phase_four_lanes.h"

namespace qvls::phase {
namespace {

struct Packing {
  // Four elements through angle(re, im) into four results.
  template <class Angle>
  static void Group(const qvls_ci16* src, std::int16_t* dst, Angle&& angle) {
    __m64 pairs[2];  // (re0, im0, re1, im1), (re2, im2, re3, im3)
    std::memcpy(pairs, src, sizeof pairs);
    const __m64 re01 = _mm_srai_pi32(_mm_slli_pi32(pairs[0], 16), 16);
    const __m64 re23 = _mm_srai_pi32(_mm_slli_pi32(pairs[1], 16), 16);
    const __m64 im01 = _mm_srai_pi32(pairs[0], 16);
    const __m64 im23 = _mm_srai_pi32(pairs[1], 16);
    const __m128 v = angle(_mm_cvtpi32x2_ps(re01, re23), _mm_cvtpi32x2_ps(im01, im23));
    const __m64 results = _mm_cvtps_pi16(v);
    std::memcpy(dst, &results, sizeof results);
  }

  static void Release() { _mm_empty(); }

  // Single elements up to an 8-byte boundary (for an even address), then
  // four per 64-bit store, then single elements.
  static void ZeroFill(std::int16_t* dst, std::int32_t len) {
    std::int32_t i = 0;
    const auto address = reinterpret_cast<std::uintptr_t>(dst);
    if (address % 2 == 0) {
      for (; i < len && (address + 2 * i) % 8 != 0; ++i) StoreAt<std::int16_t>(dst, i, 0);
    }
    const __m64 zero = _mm_setzero_si64();
    for (; i + 4 <= len; i += 4) std::memcpy(dst + i, &zero, sizeof zero);
    _mm_empty();
    for (; i < len; ++i) StoreAt<std::int16_t>(dst, i, 0);
  }
};

}  // namespace
}  // namespace qvls::phase

qvls_status qvlsPhase_ci16toi16_sc_a6(const qvls_ci16* src, std::int16_t* dst, std::int32_t len,
                                      std::int32_t sf) {
  return qvls::phase::RunFourLanes<qvls::phase::Packing>(src, dst, len, sf);
}
