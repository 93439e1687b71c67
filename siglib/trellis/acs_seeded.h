// Add-compare-select for 32 states, seeded (a6 and w7): in the V.34 32-state
// code, source states 0 to 3 reach each of the 32 states exactly once, so
// their candidates are written as the targets' first metrics and survivors
// without comparing, and only source states 4 to 31 compare and select.
//
// Branch k of source state s (0 to 3) reaches kFixedTargets[k] XOR (s >> 1),
// plus 16 when s is odd. The caller's rows 0 to 3 are compared with these
// first; any other table runs the plain loop, so no target is ever written
// blindly. With the new metrics at 65535 on entry and every seed below it,
// the result is the plain loop's.
#pragma once

#include <cstdint>

#include "siglib/trellis/trellis_rules.h"

namespace qvls::trellis {
namespace {

constexpr std::int32_t kFixedTargets[8] = {0, 4, 9, 13, 2, 6, 11, 15};

constexpr std::int32_t FixedTarget(std::int32_t source, std::int32_t branch) {
  return (kFixedTargets[branch] ^ (source >> 1)) + 16 * (source & 1);
}

inline bool FollowsFixedConnections(const std::uint8_t* next_state) {
  for (std::int32_t s = 0; s < 4; ++s) {
    for (std::int32_t k = 0; k < 8; ++k) {
      if (LoadAt(next_state, 8 * s + k) != FixedTarget(s, k)) return false;
    }
  }
  return true;
}

template <std::int32_t kColumn>
void AcsSeeded32(const std::uint16_t* old_metrics, const std::uint8_t* next_state,
                 std::uint16_t* new_metrics, const trellis_metric4d* metrics4d,
                 trellis_survivor* survivors, std::int32_t offset) {
  if (!FollowsFixedConnections(next_state)) {
    AcsLoop<kColumn>(old_metrics, next_state, new_metrics, metrics4d, survivors, 32, offset, 0);
    return;
  }
  for (std::int32_t s = 0; s < 4; ++s) {
    const std::uint32_t old = LoadAt(old_metrics, s);
    for (std::int32_t k = 0; k < 8; ++k) {
      const std::uint32_t r = LoadAt(metrics4d, 2 * k + (s & 1));
      const std::int32_t t = FixedTarget(s, k);
      StoreAt(new_metrics, t, static_cast<std::uint16_t>(old + High(r)));
      StoreAt(survivors, std::ptrdiff_t{offset} + t, Word(Low(r), static_cast<std::uint32_t>(s)));
    }
  }
  AcsLoop<kColumn>(old_metrics, next_state, new_metrics, metrics4d, survivors, 32, offset, 4);
}

}  // namespace
}  // namespace qvls::trellis
