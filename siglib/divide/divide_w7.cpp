// Division by a constant, w7 variant: the a6 scheme in 128-bit registers;
// the block kernel takes 16 elements per step in two aligned 128-bit loads,
// sign-extends them to four groups of four 32-bit lanes, converts, multiplies
// by the broadcast reciprocal, converts back under the SIMD rounding mode and
// packs with signed saturation.
#include <emmintrin.h>

#include <cstdint>

#include "siglib/divide/divide_entries.h"
#include "siglib/divide/divide_rules.h"

namespace {

__m128i Scale8(__m128i x, __m128 factor) {
  const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16);
  const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(x, x), 16);
  return _mm_packs_epi32(_mm_cvtps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(lo), factor)),
                         _mm_cvtps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(hi), factor)));
}

// n, a multiple of 16, elements from a 32-byte-aligned p.
void Blocks(std::int16_t* p, std::int32_t n, float h) {
  const __m128 factor = _mm_set1_ps(h);
  for (; n >= qvls::divide::kBlock; p += qvls::divide::kBlock, n -= qvls::divide::kBlock) {
    if (n >= 2 * qvls::divide::kBlock) {
      _mm_prefetch(reinterpret_cast<const char*>(p + qvls::divide::kBlock), _MM_HINT_T0);
    }
    auto* v = reinterpret_cast<__m128i*>(p);
    const __m128i a = _mm_load_si128(v);
    const __m128i b = _mm_load_si128(v + 1);
    _mm_store_si128(v, Scale8(a, factor));
    _mm_store_si128(v + 1, Scale8(b, factor));
  }
}

}  // namespace

qvls_status qvlsDivConst_i16_ip_sc_w7(std::int32_t value, std::int16_t* srcdst, std::int32_t len,
                                      std::int32_t sf) {
  return qvls::divide::RunSplit(value, srcdst, len, sf, Blocks);
}
