// Division by a constant, a6 variant: single precision; the block kernel
// takes 16 elements per step in four 64-bit registers, each widened and
// converted to four single-precision lanes, multiplied by the broadcast
// reciprocal, converted back under the SIMD rounding mode and packed with
// signed saturation.
#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstdint>
#include <cstring>

#include "siglib/divide/divide_entries.h"
#include "siglib/divide/divide_rules.h"

namespace {

// n, a multiple of 16, elements from a 32-byte-aligned p.
void Blocks(std::int16_t* p, std::int32_t n, float h) {
  const __m128 factor = _mm_set1_ps(h);
  for (; n >= qvls::divide::kBlock; p += qvls::divide::kBlock, n -= qvls::divide::kBlock) {
    if (n >= 2 * qvls::divide::kBlock) {
      _mm_prefetch(reinterpret_cast<const char*>(p + qvls::divide::kBlock), _MM_HINT_T0);
    }
    __m64 v[4];
    std::memcpy(v, p, sizeof v);
    for (__m64& quarter : v) quarter = _mm_cvtps_pi16(_mm_mul_ps(_mm_cvtpi16_ps(quarter), factor));
    std::memcpy(p, v, sizeof v);
  }
  _mm_empty();
}

}  // namespace

qvls_status qvlsDivConst_i16_ip_sc_a6(std::int32_t value, std::int16_t* srcdst, std::int32_t len,
                                      std::int32_t sf) {
  return qvls::divide::RunSplit(value, srcdst, len, sf, Blocks);
}
