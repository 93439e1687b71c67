// Dot products, w7 variant: 128-bit integer kernels for the exact sums and
// double-precision kernels for the sums with a 32-bit vector.
//
// The exact kernels use the m6 scheme (two-product sums by multiply-add,
// each less 1, the count added back at the end) in 128-bit registers and
// widen the sums into two 64-bit lanes.
#include <emmintrin.h>

#include "siglib/dot/dot_entries.h"
#include "siglib/dot/dot_rules.h"
#include "siglib/memory/alignment.h"
#include "siglib/memory/vector_access.h"

namespace {

using namespace qvls::dot;
using namespace qvls::sse2;

// Four signed 32-bit lanes added, sign-extended, into two 64-bit lanes.
__m128i AddWidened(__m128i total, __m128i sums) {
  const __m128i sign = _mm_srai_epi32(sums, 31);
  total = _mm_add_epi64(total, _mm_unpacklo_epi32(sums, sign));
  return _mm_add_epi64(total, _mm_unpackhi_epi32(sums, sign));
}

std::int64_t Lane(__m128i v, int k) {
  return _mm_cvtsi128_si64(k == 0 ? v : _mm_unpackhi_epi64(v, v));
}

// s91, s92: single products until the first vector is 16-byte aligned (all
// of them when it lies at an odd address), then sixteen per step; the
// second vector is read with aligned loads when it is 16-byte aligned there
// and in 8-byte halves otherwise.
std::int64_t ExactSum(const std::int16_t* a, const std::int16_t* b, std::int32_t len) {
  std::int32_t i =
      qvls::AddressOf(a) % 2 != 0 ? len : qvls::ElementsToBoundary(a, sizeof *a, 16, len);
  std::int64_t sum = SingleProducts(a, b, 0, i);
  const bool b_aligned = qvls::IsOnBoundary(b + i, 16);
  const __m128i one = _mm_set1_epi32(1);
  __m128i total = _mm_setzero_si128();
  std::int64_t pair_sums = 0;
  for (; len - i >= 16; i += 16, pair_sums += 8) {
    const __m128i b0 = b_aligned ? Load16(b + i) : LoadHalves(b + i);
    const __m128i b1 = b_aligned ? Load16(b + i + 8) : LoadHalves(b + i + 8);
    total = AddWidened(total, _mm_sub_epi32(_mm_madd_epi16(Load16(a + i), b0), one));
    total = AddWidened(total, _mm_sub_epi32(_mm_madd_epi16(Load16(a + i + 8), b1), one));
  }
  return sum + Lane(total, 0) + Lane(total, 1) + pair_sums + SingleProducts(a, b, i, len);
}

// s94: the two-product sums of real (x0 x1 x0 x1 ...) and complex parts
// regrouped as (r0 r1 i0 i1 ...), less 1, added into (re, im) 64-bit lanes.
__m128i AddComplexPairs(__m128i total, __m128i reals, __m128i parts) {
  const __m128i grouped = _mm_shufflehi_epi16(_mm_shufflelo_epi16(parts, _MM_SHUFFLE(3, 1, 2, 0)),
                                              _MM_SHUFFLE(3, 1, 2, 0));
  return AddWidened(total, _mm_sub_epi32(_mm_madd_epi16(reals, grouped), _mm_set1_epi32(1)));
}

// Eight complex elements per step with aligned or 8-byte loads, chosen by
// the 16-byte alignment of the complex vector (no alignment prologue), then
// tails of four, two and one element. The last single element is exact
// without correction.
ComplexSum ComplexExactSum(const std::int16_t* a, const qvls_ci16* c, std::int32_t len) {
  const bool c_aligned = qvls::IsOnBoundary(c, 16);
  auto load_parts = [&](std::int32_t i) { return c_aligned ? Load16(c + i) : LoadHalves(c + i); };
  __m128i total = _mm_setzero_si128();
  std::int64_t pair_sums = 0;
  std::int32_t i = 0;
  for (; len - i >= 8; i += 8, pair_sums += 4) {
    const __m128i x = LoadUnaligned16(a + i);
    total = AddComplexPairs(total, _mm_unpacklo_epi32(x, x), load_parts(i));
    total = AddComplexPairs(total, _mm_unpackhi_epi32(x, x), load_parts(i + 4));
  }
  if (len - i >= 4) {
    const __m128i x = Load8(a + i);
    total = AddComplexPairs(total, _mm_unpacklo_epi32(x, x), load_parts(i));
    i += 4;
    pair_sums += 2;
  }
  if (len - i >= 2) {
    // Only the low two lanes hold sums; the upper ones, 0 - 1, stay out.
    const __m128i x = Load4(a + i);
    const __m128i sums =
        _mm_sub_epi32(_mm_madd_epi16(_mm_unpacklo_epi32(x, x),
                                     _mm_shufflelo_epi16(Load8(c + i), _MM_SHUFFLE(3, 1, 2, 0))),
                      _mm_set1_epi32(1));
    total = _mm_add_epi64(total, _mm_unpacklo_epi32(sums, _mm_srai_epi32(sums, 31)));
    i += 2;
    pair_sums += 1;
  }
  ComplexSum sum{Lane(total, 0) + pair_sums, Lane(total, 1) + pair_sums};
  AddSingleComplex(a, c, i, len, sum);
  return sum;
}

// Two 32-bit lanes as doubles.
__m128d Doubles(__m128i v) { return _mm_cvtepi32_pd(v); }
__m128d HighDoubles(__m128i v) { return _mm_cvtepi32_pd(_mm_unpackhi_epi64(v, v)); }

double LaneTotal(__m128d v) { return _mm_cvtsd_f64(_mm_add_sd(v, _mm_unpackhi_pd(v, v))); }

// s93: single products until the 32-bit vector is 16-byte aligned (all of
// them when its address is not a multiple of 4); then eight per step in four
// accumulators of two lanes (elements 0-1, 2-3, 4-5, 6-7), the head's sum in
// the first lane of the first; at the end (0-1 + 4-5) + (2-3 + 6-7), then
// the two lanes, then the remaining products one at a time.
double MixedSum(const std::int16_t* a, const std::int32_t* b, std::int32_t len) {
  const std::int32_t head =
      qvls::AddressOf(b) % 4 != 0 ? len : qvls::ElementsToBoundary(b, sizeof *b, 16, len);
  __m128d acc[4] = {_mm_set_sd(AddFloatProducts(0.0, a, b, 0, head)), _mm_setzero_pd(),
                    _mm_setzero_pd(), _mm_setzero_pd()};
  std::int32_t i = head;
  for (; len - i >= 8; i += 8) {
    const __m128i x = LoadUnaligned16(a + i);
    const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16);
    const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(x, x), 16);
    const __m128i y0 = Load16(b + i);
    const __m128i y1 = Load16(b + i + 4);
    acc[0] = _mm_add_pd(acc[0], _mm_mul_pd(Doubles(lo), Doubles(y0)));
    acc[1] = _mm_add_pd(acc[1], _mm_mul_pd(HighDoubles(lo), HighDoubles(y0)));
    acc[2] = _mm_add_pd(acc[2], _mm_mul_pd(Doubles(hi), Doubles(y1)));
    acc[3] = _mm_add_pd(acc[3], _mm_mul_pd(HighDoubles(hi), HighDoubles(y1)));
  }
  const double total =
      LaneTotal(_mm_add_pd(_mm_add_pd(acc[0], acc[2]), _mm_add_pd(acc[1], acc[3])));
  return AddFloatProducts(total, a, b, i, len);
}

// s95: from eight elements on, eight per step in two accumulators of two
// lanes (elements 0-1 and 4-5 in the first, 2-3 and 6-7 in the second);
// the accumulators, then their lanes, then the remaining len mod 8 products.
double WideSum(const std::int32_t* a, const std::int32_t* b, std::int32_t len) {
  __m128d acc[2] = {_mm_setzero_pd(), _mm_setzero_pd()};
  std::int32_t i = 0;
  for (; len - i >= 8; i += 8) {
    for (std::int32_t k = 0; k < 8; k += 4) {
      const __m128i x = LoadUnaligned16(a + i + k);
      const __m128i y = LoadUnaligned16(b + i + k);
      acc[0] = _mm_add_pd(acc[0], _mm_mul_pd(Doubles(x), Doubles(y)));
      acc[1] = _mm_add_pd(acc[1], _mm_mul_pd(HighDoubles(x), HighDoubles(y)));
    }
  }
  return AddFloatProducts(LaneTotal(_mm_add_pd(acc[0], acc[1])), a, b, i, len);
}

}  // namespace

qvls_status qvlsDot_i16_sc_w7(const std::int16_t* a, const std::int16_t* b, std::int32_t len,
                              std::int16_t* result, std::int32_t sf) {
  return Dot16<ExactSum>(a, b, len, result, sf);
}

qvls_status qvlsDot_i16toi32_sc_w7(const std::int16_t* a, const std::int16_t* b, std::int32_t len,
                                   std::int32_t* result, std::int32_t sf) {
  return Dot32<ExactSum>(a, b, len, result, sf);
}

qvls_status qvlsDot_i16ci16toci32_sc_w7(const std::int16_t* a, const qvls_ci16* c, std::int32_t len,
                                        qvls_ci32* result, std::int32_t sf) {
  return DotComplex<ComplexExactSum>(a, c, len, result, sf);
}

qvls_status qvlsDot_i16i32toi32_sc_w7(const std::int16_t* a, const std::int32_t* b,
                                      std::int32_t len, std::int32_t* result, std::int32_t sf) {
  return DotFloat<std::int16_t, std::int32_t, MixedSum>(a, b, len, result, sf);
}

qvls_status qvlsDot_i32_sc_w7(const std::int32_t* a, const std::int32_t* b, std::int32_t len,
                              std::int32_t* result, std::int32_t sf) {
  return DotFloat<std::int32_t, std::int32_t, WideSum>(a, b, len, result, sf);
}
