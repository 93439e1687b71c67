// The trellis kernels, w7 variant.
//
// 2D metrics: this variant's own copy of the straight-line code.
//
// 4D metrics with mask 0: 16 states unrolled branch-free scalar; 32 and 64
// states four output words at a time in 32-bit lanes. Output words 4g to
// 4g + 3 pair one 2D subset J of the first point, broadcast, with subsets
// (t + J) mod 4 of the second point in lane t (its first four words or, for
// the partner pair, its last four), that is the second point's words rotated
// by J lanes; sums and labels travel side by side, and a later candidate
// replaces the kept one through a lane mask where its sum is strictly
// smaller. Any other mask runs the loop.
//
// Add-compare-select, 16 states: the four branches of one source state at
// once in 32-bit lanes (sums never wrap), with the targets' metrics and
// survivor words gathered beside them; the lanes whose candidate is smaller
// take it and its survivor word through a mask, and all four targets are
// written back one at a time, without a branch on the outcome. 32 states run the seeded kernel, 64
// the loop.
#include <emmintrin.h>

#include "siglib/memory/vector_access.h"
#include "siglib/trellis/metrics4d_unrolled.h"
#include "siglib/trellis/trellis_define_entries.h"
#include "siglib/trellis/trellis_dispatch.h"

namespace {

using namespace qvls::trellis;
using qvls::LoadAt;
using qvls::StoreAt;
using qvls::sse2::LoadUnaligned16;
using qvls::sse2::StoreUnaligned16;

constexpr std::int32_t kColumn = QVLS_VARIANT_W7;

// ---- 4D metrics ------------------------------------------------------------------

// The second point's metrics and codes (shifted to the label's high byte),
// subsets 0..3 in half 0 and 4..7 in half 1.
struct SecondPoint {
  __m128i metric[2];
  __m128i label[2];
};

SecondPoint LoadSecondPoint(const trellis_metric2d* metrics2d) {
  const __m128i low_half = _mm_set1_epi32(0xFFFF);
  const __m128i code_byte = _mm_set1_epi32(0xFF00);
  SecondPoint second;
  for (std::int32_t h = 0; h < 2; ++h) {
    const __m128i words = LoadUnaligned16(metrics2d + 8 + 4 * h);
    second.metric[h] = _mm_and_si128(words, low_half);
    second.label[h] = _mm_and_si128(_mm_srli_epi32(words, 8), code_byte);
  }
  return second;
}

// Lane t takes lane (t + kRotation) mod 4.
template <std::int32_t kRotation>
__m128i Rotate(__m128i v) {
  return _mm_shuffle_epi32(
      v, _MM_SHUFFLE((kRotation + 3) & 3, (kRotation + 2) & 3, (kRotation + 1) & 3, kRotation & 3));
}

struct Lanes {
  __m128i sum;
  __m128i label;
};

// 2D subset kFirst of the first point against subsets (t + kRotation) mod 4,
// plus 4 when kHigh, of the second.
template <std::int32_t kFirst, std::int32_t kRotation, std::int32_t kHigh>
Lanes Candidate(const trellis_metric2d* metrics2d, const SecondPoint& second) {
  const std::uint32_t word = LoadAt(metrics2d, kFirst);
  return {_mm_add_epi32(_mm_set1_epi32(static_cast<std::int32_t>(Low(word))),
                        Rotate<kRotation>(second.metric[kHigh])),
          _mm_or_si128(_mm_set1_epi32(static_cast<std::int32_t>(High(word) & 0xFF)),
                       Rotate<kRotation>(second.label[kHigh]))};
}

void Keep(Lanes& best, const Lanes& next) {
  const __m128i take = _mm_cmplt_epi32(next.sum, best.sum);
  best.sum = _mm_or_si128(_mm_and_si128(take, next.sum), _mm_andnot_si128(take, best.sum));
  best.label = _mm_or_si128(_mm_and_si128(take, next.label), _mm_andnot_si128(take, best.label));
}

void PutGroup(trellis_metric4d* metrics4d, std::int32_t group, const Lanes& best) {
  StoreUnaligned16(metrics4d + 4 * group, _mm_or_si128(_mm_slli_epi32(best.sum, 16), best.label));
}

// 64 states, words 4J..4J+3: (J, K) then (J + 4 mod 8, K + 4), K = (t + J) mod 4.
template <std::int32_t kJ>
void Group64(const trellis_metric2d* metrics2d, const SecondPoint& second,
             trellis_metric4d* metrics4d) {
  Lanes best = Candidate<kJ, kJ & 3, 0>(metrics2d, second);
  Keep(best, Candidate<kJ ^ 4, kJ & 3, 1>(metrics2d, second));
  PutGroup(metrics4d, kJ, best);
}

// 32 states, words 4g..4g+3 (c = 4g + t, plus 16 from g = 2 on): J = c >> 2
// and J' = J XOR 2 (the subsets of c XOR 8); candidates (J', K'),
// (J' + 4 mod 8, K' + 4), (J, K), (J + 4 mod 8, K + 4).
template <std::int32_t kGroup>
void Group32(const trellis_metric2d* metrics2d, const SecondPoint& second,
             trellis_metric4d* metrics4d) {
  constexpr std::int32_t kJ = kGroup < 2 ? kGroup : kGroup + 4;
  constexpr std::int32_t kOtherJ = kJ ^ 2;
  Lanes best = Candidate<kOtherJ, kOtherJ & 3, 0>(metrics2d, second);
  Keep(best, Candidate<kOtherJ ^ 4, kOtherJ & 3, 1>(metrics2d, second));
  Keep(best, Candidate<kJ, kJ & 3, 0>(metrics2d, second));
  Keep(best, Candidate<kJ ^ 4, kJ & 3, 1>(metrics2d, second));
  PutGroup(metrics4d, kGroup, best);
}

void Metrics4D64(const trellis_metric2d* metrics2d, trellis_metric4d* metrics4d) {
  const SecondPoint second = LoadSecondPoint(metrics2d);
  [&]<std::int32_t... kJ>(std::integer_sequence<std::int32_t, kJ...>) {
    (Group64<kJ>(metrics2d, second, metrics4d), ...);
  }
  (std::make_integer_sequence<std::int32_t, 8>{});
}

void Metrics4D32(const trellis_metric2d* metrics2d, trellis_metric4d* metrics4d) {
  const SecondPoint second = LoadSecondPoint(metrics2d);
  [&]<std::int32_t... kGroup>(std::integer_sequence<std::int32_t, kGroup...>) {
    (Group32<kGroup>(metrics2d, second, metrics4d), ...);
  }
  (std::make_integer_sequence<std::int32_t, 4>{});
}

// ---- add-compare-select ------------------------------------------------------------

// The branch metrics (high halves) of 4D subsets first, first + 2, first + 4
// and first + 6 in four 32-bit lanes.
__m128i BranchMetrics(const trellis_metric4d* metrics4d, std::int32_t first) {
  auto metric = [&](std::int32_t r) {
    return static_cast<std::int32_t>(High(LoadAt(metrics4d, first + r)));
  };
  return _mm_set_epi32(metric(6), metric(4), metric(2), metric(0));
}

// The labels (low halves) of 4D subsets first, first + 2, first + 4 and
// first + 6 in four 32-bit lanes.
__m128i BranchLabels(const trellis_metric4d* metrics4d, std::int32_t first) {
  auto label = [&](std::int32_t r) {
    return static_cast<std::int32_t>(Low(LoadAt(metrics4d, first + r)));
  };
  return _mm_set_epi32(label(6), label(4), label(2), label(0));
}

// Where take is all ones, `taken`, elsewhere `kept`.
__m128i Select(__m128i take, __m128i taken, __m128i kept) {
  return _mm_or_si128(_mm_and_si128(take, taken), _mm_andnot_si128(take, kept));
}

void Acs16(const std::uint16_t* old_metrics, const std::uint8_t* next_state,
           std::uint16_t* new_metrics, const trellis_metric4d* metrics4d,
           trellis_survivor* survivors, std::int32_t offset) {
  const __m128i branch[2] = {BranchMetrics(metrics4d, 0), BranchMetrics(metrics4d, 1)};
  const __m128i labels[2] = {BranchLabels(metrics4d, 0), BranchLabels(metrics4d, 1)};
  trellis_survivor* const row = survivors + offset;
  for (std::int32_t i = 0; i < 16; ++i) {
    std::int32_t target[4];
    for (std::int32_t k = 0; k < 4; ++k) target[k] = LoadAt(next_state, 4 * i + k);
    auto metric_of = [&](std::int32_t k) { return LoadAt(new_metrics, target[k]); };
    auto survivor_of = [&](std::int32_t k) {
      return static_cast<std::int32_t>(LoadAt(row, target[k]));
    };
    const __m128i candidate = _mm_add_epi32(_mm_set1_epi32(LoadAt(old_metrics, i)), branch[i & 1]);
    const __m128i current = _mm_set_epi32(metric_of(3), metric_of(2), metric_of(1), metric_of(0));
    const __m128i take = _mm_cmplt_epi32(candidate, current);
    const __m128i words =
        Select(take, _mm_or_si128(labels[i & 1], _mm_set1_epi32(i << 16)),
               _mm_set_epi32(survivor_of(3), survivor_of(2), survivor_of(1), survivor_of(0)));
    std::int32_t metric_lanes[4];
    std::uint32_t word_lanes[4];
    StoreUnaligned16(metric_lanes, Select(take, candidate, current));
    StoreUnaligned16(word_lanes, words);
    for (std::int32_t k = 0; k < 4; ++k) {
      StoreAt(new_metrics, target[k], static_cast<std::uint16_t>(metric_lanes[k]));
      StoreAt(row, target[k], word_lanes[k]);
    }
  }
}

}  // namespace

QVLS_DEFINE_TRELLIS_2D_ENTRY(w7, QVLS_VARIANT_W7)

QVLS_DEFINE_TRELLIS_BY_STATES_ENTRIES(w7, kColumn, (Metrics4DUnrolled<16, kColumn>), Metrics4D32,
                                      Metrics4D64, Acs16)
