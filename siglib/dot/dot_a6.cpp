// Dot products, a6 variant: the complex kernel of s94. Two complex elements
// per step: a word shuffle pairs the two real elements (x0 x1 x0 x1) with
// the real and imaginary parts of the complex ones (r0 r1 i0 i1), and one
// multiply-add gives both two-product sums, each with the minus-one
// correction of the m6 kernel. An odd last element is taken alone.
#include <mmintrin.h>
#include <xmmintrin.h>

#include "siglib/dot/dot_entries.h"
#include "siglib/dot/dot_rules.h"
#include "siglib/memory/vector_access.h"

namespace {

using namespace qvls::dot;
using qvls::mmx::Get4;
using qvls::mmx::Get8;

ComplexSum ComplexExactSum(const std::int16_t* a, const qvls_ci16* c, std::int32_t len) {
  ComplexSum sum;
  const __m64 one = _mm_set1_pi32(1);
  std::int32_t i = 0;
  std::int64_t pair_sums = 0;
  for (; len - i >= 2; i += 2, ++pair_sums) {
    const __m64 reals = _mm_shuffle_pi16(Get4(a + i), _MM_SHUFFLE(1, 0, 1, 0));
    const __m64 parts = _mm_shuffle_pi16(Get8(c + i), _MM_SHUFFLE(3, 1, 2, 0));
    const __m64 sums = _mm_sub_pi32(_mm_madd_pi16(reals, parts), one);
    sum.re += _mm_cvtsi64_si32(sums);
    sum.im += _mm_cvtsi64_si32(_mm_srli_si64(sums, 32));
  }
  _mm_empty();
  sum.re += pair_sums;
  sum.im += pair_sums;
  AddSingleComplex(a, c, i, len, sum);
  return sum;
}

}  // namespace

qvls_status qvlsDot_i16ci16toci32_sc_a6(const std::int16_t* a, const qvls_ci16* c, std::int32_t len,
                                        qvls_ci32* result, std::int32_t sf) {
  return DotComplex<ComplexExactSum>(a, c, len, result, sf);
}
