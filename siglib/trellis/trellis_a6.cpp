// The trellis kernels, a6 variant (its 2D metrics are m6's).
//
// 4D metrics: unrolled branch-free scalar code for mask 0, the loop otherwise.
//
// Add-compare-select, 16 states: the four branches of one source state at
// once in 16-bit lanes of a 64-bit register. The candidates are the old
// metric plus the branch metrics of the state's parity, added in 16 bits;
// the targets' current metrics are gathered into the lanes beside them and
// compared unsigned (the signed minimum of both sides with the sign bit
// flipped); a lane whose minimum is not the current metric improves. The
// lanes that improve are written back one target at a time with their
// survivor words. Lanes stand for distinct targets, as the four successors
// of a state in the V.34 code are; a sum that leaves 16 bits wraps, which
// the data pump's normalised metrics never do.
//
// 32 states run the seeded kernel, 64 states the loop.
#include <mmintrin.h>
#include <xmmintrin.h>

#include "siglib/memory/vector_access.h"
#include "siglib/trellis/metrics4d_unrolled.h"
#include "siglib/trellis/trellis_dispatch.h"
#include "siglib/trellis/trellis_entries.h"
#include "siglib/trellis/trellis_rules.h"

namespace {

using namespace qvls::trellis;
using qvls::LoadAt;
using qvls::StoreAt;
using qvls::mmx::Put8;

constexpr std::int32_t kColumn = QVLS_VARIANT_A6;

// The branch metrics (high halves) of 4D subsets first, first + 2, first + 4
// and first + 6 in four 16-bit lanes.
__m64 BranchMetrics(const trellis_metric4d* metrics4d, std::int32_t first) {
  auto metric = [&](std::int32_t r) {
    return static_cast<short>(High(LoadAt(metrics4d, first + r)));
  };
  return _mm_set_pi16(metric(6), metric(4), metric(2), metric(0));
}

void Acs16(const std::uint16_t* old_metrics, const std::uint8_t* next_state,
           std::uint16_t* new_metrics, const trellis_metric4d* metrics4d,
           trellis_survivor* survivors, std::int32_t offset) {
  const __m64 sign = _mm_set1_pi16(static_cast<short>(0x8000));
  const __m64 branch[2] = {BranchMetrics(metrics4d, 0), BranchMetrics(metrics4d, 1)};
  for (std::int32_t i = 0; i < 16; ++i) {
    std::int32_t target[4];
    for (std::int32_t k = 0; k < 4; ++k) target[k] = LoadAt(next_state, 4 * i + k);
    const __m64 candidate =
        _mm_add_pi16(_mm_set1_pi16(static_cast<short>(LoadAt(old_metrics, i))), branch[i & 1]);
    const __m64 current = _mm_set_pi16(static_cast<short>(LoadAt(new_metrics, target[3])),
                                       static_cast<short>(LoadAt(new_metrics, target[2])),
                                       static_cast<short>(LoadAt(new_metrics, target[1])),
                                       static_cast<short>(LoadAt(new_metrics, target[0])));
    const __m64 kept = _mm_xor_si64(
        _mm_min_pi16(_mm_xor_si64(candidate, sign), _mm_xor_si64(current, sign)), sign);
    // A lane improves when the unsigned minimum is not the current metric.
    const std::int32_t improves = ~_mm_movemask_pi8(_mm_cmpeq_pi16(kept, current));
    std::uint16_t lanes[4];
    Put8(lanes, kept);
    for (std::int32_t k = 0; k < 4; ++k) {
      if (((improves >> (2 * k)) & 1) == 0) continue;
      const std::uint32_t r = LoadAt(metrics4d, 2 * k + (i & 1));
      StoreAt(new_metrics, target[k], lanes[k]);
      StoreAt(survivors, std::ptrdiff_t{offset} + target[k],
              Word(Low(r), static_cast<std::uint32_t>(i)));
    }
  }
  _mm_empty();
}

}  // namespace

QVLS_DEFINE_TRELLIS_BY_STATES_ENTRIES(a6, kColumn, (Metrics4DUnrolled<16, kColumn>),
                                      (Metrics4DUnrolled<32, kColumn>),
                                      (Metrics4DUnrolled<64, kColumn>), Acs16)
