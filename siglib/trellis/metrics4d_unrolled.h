// The 4D metrics with mask 0 as unrolled scalar code: every output word's
// candidates are constants of the code, and the kept candidate is chosen
// without branches. a6 runs it for every state count, w7 for 16 states.
#pragma once

#include <cstdint>
#include <utility>

#include "siglib/trellis/trellis_rules.h"

namespace qvls::trellis {
namespace {

template <Candidates kCandidates>
std::uint32_t BestWord(const trellis_metric2d* metrics2d) {
  Scored best = Score(metrics2d, kCandidates.pair[0]);
  for (std::int32_t n = 1; n < kCandidates.count; ++n) {
    const Scored next = Score(metrics2d, kCandidates.pair[n]);
    const std::uint32_t take = 0u - static_cast<std::uint32_t>(next.sum < best.sum);
    best.sum ^= (best.sum ^ next.sum) & take;
    best.word ^= (best.word ^ next.word) & take;
  }
  return best.word;
}

template <std::int32_t kStates, std::int32_t kColumn>
void Metrics4DUnrolled(const trellis_metric2d* metrics2d, trellis_metric4d* metrics4d) {
  [&]<std::int32_t... kI>(std::integer_sequence<std::int32_t, kI...>) {
    (StoreAt(metrics4d, kI, BestWord<CandidatesOf(kStates, 0, kI)>(metrics2d)), ...);
  }
  (std::make_integer_sequence<std::int32_t, SubsetCount4D(kStates)>{});
}

}  // namespace
}  // namespace qvls::trellis
