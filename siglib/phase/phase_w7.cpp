// The phase, w7 variant: the a6 scheme in its own copy with 128-bit integer
// registers: four elements per 128-bit load, split into sign-extended real
// and imaginary parts, converted to four single-precision lanes, and the
// results converted back under the SIMD rounding mode and packed with signed
// saturation.
#include <emmintrin.h>

#include <cstdint>

#include "siglib/phase/phase_entries.h"
#include "siglib/phase/phase_four_lanes.h"

namespace qvls::phase {
namespace {

struct Packing {
  template <class Angle>
  static void Group(const qvls_ci16* src, std::int16_t* dst, Angle&& angle) {
    const __m128i pairs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i re = _mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16);
    const __m128i im = _mm_srai_epi32(pairs, 16);
    const __m128i v = _mm_cvtps_epi32(angle(_mm_cvtepi32_ps(re), _mm_cvtepi32_ps(im)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packs_epi32(v, v));
  }

  static void Release() {}

  // Single elements up to a 16-byte boundary (for an even address), then
  // eight per 128-bit store, then single elements.
  static void ZeroFill(std::int16_t* dst, std::int32_t len) {
    std::int32_t i = 0;
    const auto address = reinterpret_cast<std::uintptr_t>(dst);
    if (address % 2 == 0) {
      for (; i < len && (address + 2 * i) % 16 != 0; ++i) StoreAt<std::int16_t>(dst, i, 0);
    }
    for (; i + 8 <= len; i += 8) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_setzero_si128());
    }
    for (; i < len; ++i) StoreAt<std::int16_t>(dst, i, 0);
  }
};

}  // namespace
}  // namespace qvls::phase

qvls_status qvlsPhase_ci16toi16_sc_w7(const qvls_ci16* src, std::int16_t* dst, std::int32_t len,
                                      std::int32_t sf) {
  return qvls::phase::RunFourLanes<qvls::phase::Packing>(src, dst, len, sf);
}
