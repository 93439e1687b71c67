// Sum, mean and norms, m6 variant (the sum and the mean also serve a6).
//
// Sum kernel: single elements until the vector is 8-byte aligned, then
// sixteen per step as pairwise sums (multiply-add by one) in two registers
// of 32-bit lanes, which are added into the 64-bit total and cleared after
// every 65536 elements; then the rest one at a time. The mean divides in
// double precision and converts on the x87 unit, under its rounding mode.
#include <mmintrin.h>

#include <cstring>

#include "siglib/memory/vector_access.h"
#include "siglib/reduce/mmx_norms.h"
#include "siglib/reduce/reduce_entries.h"
#include "siglib/reduce/reduce_rules.h"

namespace {

using namespace qvls::reduce;
using qvls::mmx::Get8;

std::int64_t SignedLaneTotal(__m64 v) {
  return std::int64_t{_mm_cvtsi64_si32(v)} + _mm_cvtsi64_si32(_mm_srli_si64(v, 32));
}

std::int64_t ExactSum(const std::int16_t* p, std::int32_t len) {
  std::int32_t i = qvls::ElementsToBoundary(p, sizeof *p, 8, len);
  std::int64_t total = SingleSum(p, 0, i);
  const __m64 ones = _mm_set1_pi16(1);
  __m64 lanes[2] = {_mm_setzero_si64(), _mm_setzero_si64()};
  auto flush = [&] {
    total += SignedLaneTotal(lanes[0]) + SignedLaneTotal(lanes[1]);
    lanes[0] = lanes[1] = _mm_setzero_si64();
  };
  for (std::int32_t in_lanes = 0; len - i >= 16; i += 16) {
    for (std::int32_t k = 0; k < 16; k += 8) {
      lanes[0] = _mm_add_pi32(lanes[0], _mm_madd_pi16(Get8(p + i + k), ones));
      lanes[1] = _mm_add_pi32(lanes[1], _mm_madd_pi16(Get8(p + i + k + 4), ones));
    }
    in_lanes += 16;
    if (in_lanes == kChunk) {
      flush();
      in_lanes = 0;
    }
  }
  flush();
  _mm_empty();
  return total + SingleSum(p, i, len);
}

// q, within the 16-bit range, rounded by the x87 unit's rounding control.
std::int16_t X87Rounded(double q) {
  std::int16_t r;
  asm volatile("fldl %1\n\tfistps %0" : "=m"(r) : "m"(q) : "st");
  return r;
}

// The unsigned maximum of the absolute values: max(a, b) = b + (a -sat b).
std::uint32_t LargestAbs(const std::int16_t* p, std::int32_t len) {
  __m64 best = _mm_setzero_si64();
  std::uint32_t single_best = 0;
  Walk64<16, Prefetch::kNone>(
      p, len,
      [&](std::int32_t i) {
        const __m64 a = mmx::Abs<mmx::Flavor::kM6>(Get8(p + i));
        best = _mm_add_pi16(best, _mm_subs_pu16(a, best));
      },
      [&](std::int32_t i) { single_best = AbsAt(p, i) > single_best ? AbsAt(p, i) : single_best; });
  std::uint16_t lane[4];
  std::memcpy(lane, &best, sizeof lane);
  _mm_empty();
  for (std::uint16_t m : lane) single_best = m > single_best ? m : single_best;
  return single_best;
}

}  // namespace

qvls_status qvlsSum_i16toi32_sc_m6(const std::int16_t* src, std::int32_t len, std::int32_t* result,
                                   std::int32_t sf) {
  return Sum<ExactSum>(src, len, result, sf);
}

qvls_status qvlsMean_i16_sc_m6(const std::int16_t* src, std::int32_t len, std::int16_t* result,
                               std::int32_t sf) {
  if (const qvls_status status = Check(src, len, result); status != QVLS_OK) return status;
  const double q = MeanQuotient(static_cast<double>(ExactSum(src, len)), len, sf);
  *result = X87Rounded(Limit(q, -32768.0, 32767.0));
  return QVLS_OK;
}

QVLS_DEFINE_NORM_ENTRIES(m6, LargestAbs, mmx::AbsSum<mmx::Flavor::kM6>,
                         mmx::Squares<mmx::Flavor::kM6>, mmx::AbsDiffSum<mmx::Flavor::kM6>)
