// Dot products, m6 variant: the exact 16-bit kernel of s91 and s92 (a6 runs
// it too). Single products until the first vector is 8-byte aligned, then
// eight elements per step as four two-product sums (multiply-add). A two-
// product sum leaves 32 bits only as 2^31, when all four values are -32768,
// and then wraps to -2^31; subtracting 1 from every sum makes each one exact
// as a signed 32-bit value, and the number of sums is added back at the end.
#include <mmintrin.h>

#include "siglib/dot/dot_entries.h"
#include "siglib/dot/dot_rules.h"
#include "siglib/memory/alignment.h"
#include "siglib/memory/vector_access.h"

namespace {

using namespace qvls::dot;
using qvls::mmx::Get8;

std::int64_t LaneSum(__m64 v) {
  return std::int64_t{_mm_cvtsi64_si32(v)} + _mm_cvtsi64_si32(_mm_srli_si64(v, 32));
}

std::int64_t ExactSum(const std::int16_t* a, const std::int16_t* b, std::int32_t len) {
  std::int32_t i = qvls::ElementsToBoundary(a, sizeof *a, 8, len);
  std::int64_t sum = SingleProducts(a, b, 0, i);
  std::int64_t pair_sums = 0;
  const __m64 one = _mm_set1_pi32(1);
  for (; len - i >= 8; i += 8) {
    const __m64 lo = _mm_sub_pi32(_mm_madd_pi16(Get8(a + i), Get8(b + i)), one);
    const __m64 hi = _mm_sub_pi32(_mm_madd_pi16(Get8(a + i + 4), Get8(b + i + 4)), one);
    sum += LaneSum(lo) + LaneSum(hi);
    pair_sums += 4;
  }
  _mm_empty();
  return sum + pair_sums + SingleProducts(a, b, i, len);
}

}  // namespace

qvls_status qvlsDot_i16_sc_m6(const std::int16_t* a, const std::int16_t* b, std::int32_t len,
                              std::int16_t* result, std::int32_t sf) {
  return Dot16<ExactSum>(a, b, len, result, sf);
}

qvls_status qvlsDot_i16toi32_sc_m6(const std::int16_t* a, const std::int16_t* b, std::int32_t len,
                                   std::int32_t* result, std::int32_t sf) {
  return Dot32<ExactSum>(a, b, len, result, sf);
}
