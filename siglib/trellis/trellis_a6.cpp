// The trellis kernels, a6 variant (its 2D metrics are m6's).
//
// 4D metrics: unrolled branch-free scalar code for mask 0, the loop otherwise.
//
// Add-compare-select, 16 states: the four branches of one source state at
// once in 16-bit lanes of a 64-bit register. The candidates are the old
// metric plus the branch metrics of the state's parity, added in 16 bits;
// the targets' current metrics and survivor words are gathered into lanes
// beside them, compared unsigned (the signed minimum of both sides with the
// sign bit flipped), and the lanes whose minimum is not the current metric
// take the candidate's survivor word through a mask; all four targets are
// written back one at a time, without a branch on the outcome. Lanes stand
// for distinct targets, as the four successors of a state in the V.34 code
// are; a sum that leaves 16 bits wraps, which the data pump's normalised
// metrics never do.
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

// The labels (low halves) of 4D subsets first + 2 h and first + 2 h + 4 in
// two 32-bit lanes.
__m64 BranchLabels(const trellis_metric4d* metrics4d, std::int32_t first, std::int32_t h) {
  return _mm_set_pi32(static_cast<std::int32_t>(Low(LoadAt(metrics4d, first + 4 * h + 2))),
                      static_cast<std::int32_t>(Low(LoadAt(metrics4d, first + 4 * h))));
}

// Where keep is all ones, `kept`, elsewhere `taken`.
__m64 Select(__m64 keep, __m64 kept, __m64 taken) {
  return _mm_or_si64(_mm_and_si64(keep, kept), _mm_andnot_si64(keep, taken));
}

void Acs16(const std::uint16_t* old_metrics, const std::uint8_t* next_state,
           std::uint16_t* new_metrics, const trellis_metric4d* metrics4d,
           trellis_survivor* survivors, std::int32_t offset) {
  const __m64 sign = _mm_set1_pi16(static_cast<short>(0x8000));
  const __m64 branch[2] = {BranchMetrics(metrics4d, 0), BranchMetrics(metrics4d, 1)};
  const __m64 labels[2][2] = {{BranchLabels(metrics4d, 0, 0), BranchLabels(metrics4d, 0, 1)},
                              {BranchLabels(metrics4d, 1, 0), BranchLabels(metrics4d, 1, 1)}};
  trellis_survivor* const row = survivors + offset;
  for (std::int32_t i = 0; i < 16; ++i) {
    std::int32_t target[4];
    for (std::int32_t k = 0; k < 4; ++k) target[k] = LoadAt(next_state, 4 * i + k);
    auto metric_of = [&](std::int32_t k) {
      return static_cast<short>(LoadAt(new_metrics, target[k]));
    };
    auto survivor_of = [&](std::int32_t k) {
      return static_cast<std::int32_t>(LoadAt(row, target[k]));
    };
    const __m64 candidate =
        _mm_add_pi16(_mm_set1_pi16(static_cast<short>(LoadAt(old_metrics, i))), branch[i & 1]);
    const __m64 current = _mm_set_pi16(metric_of(3), metric_of(2), metric_of(1), metric_of(0));
    const __m64 kept = _mm_xor_si64(
        _mm_min_pi16(_mm_xor_si64(candidate, sign), _mm_xor_si64(current, sign)), sign);
    // A lane keeps its target's survivor where the unsigned minimum is the
    // current metric.
    const __m64 keep = _mm_cmpeq_pi16(kept, current);
    const __m64 source = _mm_set1_pi32(i << 16);
    const __m64 words[2] = {
        Select(_mm_unpacklo_pi16(keep, keep), _mm_set_pi32(survivor_of(1), survivor_of(0)),
               _mm_or_si64(labels[i & 1][0], source)),
        Select(_mm_unpackhi_pi16(keep, keep), _mm_set_pi32(survivor_of(3), survivor_of(2)),
               _mm_or_si64(labels[i & 1][1], source))};
    std::uint16_t metric_lanes[4];
    std::uint32_t word_lanes[4];
    Put8(metric_lanes, kept);
    Put8(word_lanes, words[0]);
    Put8(word_lanes + 2, words[1]);
    for (std::int32_t k = 0; k < 4; ++k) {
      StoreAt(new_metrics, target[k], metric_lanes[k]);
      StoreAt(row, target[k], word_lanes[k]);
    }
  }
  _mm_empty();
}

}  // namespace

QVLS_DEFINE_TRELLIS_BY_STATES_ENTRIES(a6, kColumn, (Metrics4DUnrolled<16, kColumn>),
                                      (Metrics4DUnrolled<32, kColumn>),
                                      (Metrics4DUnrolled<64, kColumn>), Acs16)
