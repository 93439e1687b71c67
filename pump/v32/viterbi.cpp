#include "pump/v32/viterbi.h"

#include <limits>

#include "pump/v32/encoder.h"

namespace pump::v32 {

void ResetViterbi(Viterbi& v) {
  // The far encoder's state is unknown when data starts: every state begins equal.
  v = Viterbi{};
}

std::optional<std::uint16_t> ViterbiStep(Viterbi& v, const std::array<Candidate, 8>& subsets) {
  constexpr std::int64_t kUnreached = std::numeric_limits<std::int64_t>::max() / 2;
  std::array<std::int64_t, 8> next;
  next.fill(kUnreached);
  auto& column = v.survivors[v.time % (kDecisionDelay + 1)];
  for (std::uint8_t state = 0; state < 8; ++state) {
    for (unsigned pair = 0; pair < 4; ++pair) {
      const unsigned subset = pair << 1 | (state & 1u);
      const std::uint8_t to = kConvolutionalNext[state][pair];
      const std::int64_t metric = v.metrics[state] + subsets[subset].distance;
      if (metric < next[to]) {
        next[to] = metric;
        column[to] = {state, subsets[subset].index};
      }
    }
  }
  std::uint8_t best = 0;
  for (std::uint8_t s = 1; s < 8; ++s) {
    if (next[s] < next[best]) best = s;
  }
  const std::int64_t floor = next[best];
  for (std::uint8_t s = 0; s < 8; ++s) v.metrics[s] = next[s] - floor;
  ++v.time;
  if (v.time <= kDecisionDelay) return std::nullopt;
  std::uint8_t state = best;
  std::uint32_t t = v.time - 1;
  for (int k = 0; k < kDecisionDelay; ++k, --t) {
    state = v.survivors[t % (kDecisionDelay + 1)][state].previous;
  }
  return v.survivors[t % (kDecisionDelay + 1)][state].index;
}

}  // namespace pump::v32
