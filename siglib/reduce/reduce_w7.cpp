// Sum, mean and norms, w7 variant.
//
// Sum kernel: single elements until the vector is 16-byte aligned (a vector
// at an odd address is read unaligned throughout), then thirty-two per step
// as multiply-adds by one into eight 32-bit lanes; after every 65536
// elements the lanes are combined, converted to double and added into a
// two-lane double total, exact as no total exceeds 2^53. The sum and the
// mean scale that total by an exact power of two and convert it under the
// SIMD rounding mode in force.
#include <emmintrin.h>
#include <mmintrin.h>

#include <cstring>

#include "siglib/memory/alignment.h"
#include "siglib/memory/vector_access.h"
#include "siglib/reduce/reduce_entries.h"
#include "siglib/reduce/reduce_rules.h"
#include "siglib/reduce/reduce_walk.h"

namespace {

using namespace qvls::reduce;
using namespace qvls::sse2;

__m128i LoadVector(const std::int16_t* p, bool aligned) {
  return aligned ? Load16(p) : LoadUnaligned16(p);
}

// Four 32-bit lanes (signed or unsigned, as asked) added up.
template <class T>
T LaneTotal(__m128i v) {
  T lane[4];
  std::memcpy(lane, &v, sizeof lane);
  return lane[0] + lane[1] + lane[2] + lane[3];
}

double ExactSum(const std::int16_t* p, std::int32_t len) {
  std::int32_t i = qvls::ElementsToBoundary(p, sizeof *p, 16, len);
  const bool aligned = qvls::IsOnBoundary(p + i, 16);
  const __m128i ones = _mm_set1_epi16(1);
  __m128i lanes[2] = {_mm_setzero_si128(), _mm_setzero_si128()};
  __m128d total = _mm_set_sd(static_cast<double>(SingleSum(p, 0, i)));
  auto flush = [&] {
    // Four lanes of at most 2^29 in magnitude each, converted two at a time.
    const __m128i four = _mm_add_epi32(lanes[0], lanes[1]);
    total = _mm_add_pd(total, _mm_cvtepi32_pd(four));
    total = _mm_add_pd(total, _mm_cvtepi32_pd(_mm_unpackhi_epi64(four, four)));
    lanes[0] = lanes[1] = _mm_setzero_si128();
  };
  auto add = [&](int k, __m128i x) { lanes[k] = _mm_add_epi32(lanes[k], _mm_madd_epi16(x, ones)); };
  for (std::int32_t in_lanes = 0; len - i >= 32; i += 32) {
    for (std::int32_t k = 0; k < 32; k += 16) {
      add(0, LoadVector(p + i + k, aligned));
      add(1, LoadVector(p + i + k + 8, aligned));
    }
    in_lanes += 32;
    if (in_lanes == kChunk) {
      flush();
      in_lanes = 0;
    }
  }
  for (std::int32_t step = 16; step >= 8; step /= 2) {
    if (len - i < step) continue;
    for (std::int32_t k = 0; k < step; k += 8) add(k / 8, LoadVector(p + i + k, aligned));
    i += step;
  }
  if (len - i >= 4) {
    add(0, Load8(p + i));
    i += 4;
  }
  flush();
  const double tail = static_cast<double>(SingleSum(p, i, len));
  return _mm_cvtsd_f64(
      _mm_add_sd(_mm_add_sd(total, _mm_unpackhi_pd(total, total)), _mm_set_sd(tail)));
}

// y, limited to [lo, hi], converted under the SIMD rounding mode in force.
std::int32_t ConvertInMode(double y, double lo, double hi) {
  return _mm_cvtsd_si32(_mm_set_sd(Limit(y, lo, hi)));
}

std::uint32_t LargestAbs(const std::int16_t* p, std::int32_t len) {
  __m128i low = _mm_set1_epi16(INT16_MAX);
  __m128i high = _mm_set1_epi16(INT16_MIN);
  std::uint32_t single_best = 0;
  auto group = [&](__m128i x) {
    low = _mm_min_epi16(low, x);
    high = _mm_max_epi16(high, x);
  };
  Walk128(
      p, len, [&](std::int32_t i, bool aligned) { group(LoadVector(p + i, aligned)); },
      [&](std::int32_t i) { group(Load8(p + i)); },  // zeros in the upper lanes change nothing
      [&](std::int32_t i) { single_best = AbsAt(p, i) > single_best ? AbsAt(p, i) : single_best; });
  std::int16_t lows[8];
  std::int16_t highs[8];
  std::memcpy(lows, &low, sizeof lows);
  std::memcpy(highs, &high, sizeof highs);
  return LargestOfLanes(lows, highs, single_best);
}

// Eight absolute values (unsigned 16-bit lanes) added into four 32-bit lanes.
__m128i AddWidened(__m128i total, __m128i x) {
  const __m128i zero = _mm_setzero_si128();
  return _mm_add_epi32(_mm_add_epi32(total, _mm_unpacklo_epi16(x, zero)),
                       _mm_unpackhi_epi16(x, zero));
}

__m128i Abs(__m128i x) { return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x)); }

std::uint32_t AbsSum(const std::int16_t* p, std::int32_t len) {
  __m128i total = _mm_setzero_si128();
  std::uint32_t singles = 0;
  Walk128(
      p, len,
      [&](std::int32_t i, bool aligned) {
        total = AddWidened(total, Abs(LoadVector(p + i, aligned)));
      },
      [&](std::int32_t i) { total = AddWidened(total, Abs(Load8(p + i))); },
      [&](std::int32_t i) { singles += AbsAt(p, i); });
  return LaneTotal<std::uint32_t>(total) + singles;
}

// The 64-bit kernel of the sum of squares: pairs of squares by multiply-add,
// read as unsigned and added into a 64-bit lane of the packed registers.
std::uint64_t Squares(const std::int16_t* p, std::int32_t len) {
  __m64 total = _mm_setzero_si64();
  std::uint64_t singles = 0;
  Walk64<16, Prefetch::kAhead64Bytes>(
      p, len,
      [&](std::int32_t i) {
        const __m64 x = qvls::mmx::Get8(p + i);
        const __m64 pairs = _mm_madd_pi16(x, x);
        const __m64 zero = _mm_setzero_si64();
        total = _mm_add_si64(total, _mm_unpacklo_pi32(pairs, zero));
        total = _mm_add_si64(total, _mm_unpackhi_pi32(pairs, zero));
      },
      [&](std::int32_t i) { singles += SquareAt(p, i); });
  std::uint64_t sum;
  std::memcpy(&sum, &total, sizeof sum);
  _mm_empty();
  return sum + singles;
}

std::uint32_t AbsDiffSum(const std::int16_t* a, const std::int16_t* b, std::int32_t len) {
  const __m128i bias = _mm_set1_epi16(INT16_MIN);
  __m128i total = _mm_setzero_si128();
  std::uint32_t singles = 0;
  auto group = [&](__m128i x, __m128i y) {
    x = _mm_xor_si128(x, bias);
    y = _mm_xor_si128(y, bias);
    total = AddWidened(total, _mm_or_si128(_mm_subs_epu16(x, y), _mm_subs_epu16(y, x)));
  };
  Walk128(
      a, len,
      [&](std::int32_t i, bool aligned) {
        group(LoadVector(a + i, aligned), LoadUnaligned16(b + i));
      },
      [&](std::int32_t i) { group(Load8(a + i), Load8(b + i)); },
      [&](std::int32_t i) { singles += AbsDiffAt(a, b, i); });
  return LaneTotal<std::uint32_t>(total) + singles;
}

}  // namespace

qvls_status qvlsSum_i16toi32_sc_w7(const std::int16_t* src, std::int32_t len, std::int32_t* result,
                                   std::int32_t sf) {
  if (const qvls_status status = Check(src, len, result); status != QVLS_OK) return status;
  const double y = std::ldexp(ExactSum(src, len), -ClampSumScale(sf));
  *result = ConvertInMode(y, -2147483648.0, 2147483647.0);
  return QVLS_OK;
}

qvls_status qvlsMean_i16_sc_w7(const std::int16_t* src, std::int32_t len, std::int16_t* result,
                               std::int32_t sf) {
  if (const qvls_status status = Check(src, len, result); status != QVLS_OK) return status;
  const double q = MeanQuotient(ExactSum(src, len), len, sf);
  *result = static_cast<std::int16_t>(ConvertInMode(q, -32768.0, 32767.0));
  return QVLS_OK;
}

QVLS_DEFINE_NORM_ENTRIES(w7, LargestAbs, AbsSum, Squares, AbsDiffSum)
