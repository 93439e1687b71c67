// Norms, a6 variant (the sum and the mean run the m6 entries): the largest
// absolute value from the signed minimum and maximum per lane, sixteen
// elements per step with a prefetch 64 bytes ahead; the a6 copies of the
// 64-bit norm kernels.
#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstring>

#include "siglib/memory/vector_access.h"
#include "siglib/reduce/mmx_norms.h"
#include "siglib/reduce/reduce_entries.h"
#include "siglib/reduce/reduce_rules.h"

namespace {

using namespace qvls::reduce;
using qvls::mmx::Get8;

std::uint32_t LargestAbs(const std::int16_t* p, std::int32_t len) {
  __m64 low = _mm_set1_pi16(INT16_MAX);
  __m64 high = _mm_set1_pi16(INT16_MIN);
  std::uint32_t single_best = 0;
  Walk64<16, Prefetch::kAhead64Bytes>(
      p, len,
      [&](std::int32_t i) {
        const __m64 x = Get8(p + i);
        low = _mm_min_pi16(low, x);
        high = _mm_max_pi16(high, x);
      },
      [&](std::int32_t i) { single_best = AbsAt(p, i) > single_best ? AbsAt(p, i) : single_best; });
  std::int16_t lows[4];
  std::int16_t highs[4];
  std::memcpy(lows, &low, sizeof lows);
  std::memcpy(highs, &high, sizeof highs);
  _mm_empty();
  return LargestOfLanes(lows, highs, single_best);
}

}  // namespace

QVLS_DEFINE_NORM_ENTRIES(a6, LargestAbs, mmx::AbsSum<mmx::Flavor::kA6>,
                         mmx::Squares<mmx::Flavor::kA6>, mmx::AbsDiffSum<mmx::Flavor::kA6>)
