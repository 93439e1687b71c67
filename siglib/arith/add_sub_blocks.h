// One register of results of a 16-bit addition or subtraction, a op b, for
// each path of the scale-factor rule; V is __m64 or __m128i. The unscaled
// path uses the saturating 16-bit instructions. The scaled paths form the
// exact sums or differences in 32-bit lanes, multiplying each interleaved
// pair (a, b) by (1, 1) or (1, -1) and adding, apply the rule per lane and
// narrow with signed saturation. The sign path narrows the saturated 16-bit
// result to its sign.
#pragma once

#include <cstdint>

#include "siglib/arith/arith_rules.h"
#include "siglib/arith/lanes.h"
#include "siglib/arith/packed_ops.h"

namespace qvls::arith {

template <Op kOp, class V>
V Saturated(V a, V b) {
  if constexpr (kOp == Op::kAdd) {
    return AddSat16(a, b);
  } else {
    return SubSat16(a, b);
  }
}

// The exact a op b of the lower (lo) and upper (hi) lanes, in 32 bits.
template <class V>
struct Wide {
  V lo;
  V hi;
};

template <Op kOp, class V>
Wide<V> Exact(V a, V b) {
  // (1, 1) or (1, -1) in each 32-bit lane, the 1 in the lower half for a.
  const V weights = Broadcast32<V>(kOp == Op::kAdd ? 0x00010001 : -0x0000FFFF);
  return {MulAdd(UnpackLo16(a, b), weights), MulAdd(UnpackHi16(a, b), weights)};
}

template <Op kOp, class V, class Rule>
struct AddSubBlock;

template <Op kOp, class V>
struct AddSubBlock<kOp, V, SaturateRule<std::int16_t>> {
  explicit AddSubBlock(SaturateRule<std::int16_t>) {}
  V operator()(V a, V b) const { return Saturated<kOp>(a, b); }
};

template <Op kOp, class V>
struct AddSubBlock<kOp, V, ScaleDownRule<std::int16_t>> {
  explicit AddSubBlock(ScaleDownRule<std::int16_t> rule) : round(rule.sf) {}
  V operator()(V a, V b) const {
    const Wide<V> x = Exact<kOp>(a, b);
    return Pack32(round(x.lo), round(x.hi));
  }
  RoundDownLanes<V> round;
};

// |a op b| <= 2^16, so shifting by at most 15 stays within 32 bits.
template <Op kOp, class V>
struct AddSubBlock<kOp, V, ShiftLeftRule<std::int16_t>> {
  explicit AddSubBlock(ShiftLeftRule<std::int16_t> rule) : count(Count<V>(rule.n)) {}
  V operator()(V a, V b) const {
    const Wide<V> x = Exact<kOp>(a, b);
    return Pack32(Sll32(x.lo, count), Sll32(x.hi, count));
  }
  V count;
};

template <Op kOp, class V>
struct AddSubBlock<kOp, V, SignRule<std::int16_t>> {
  explicit AddSubBlock(SignRule<std::int16_t>) {}
  V operator()(V a, V b) const { return SignOf16(Saturated<kOp>(a, b)); }
};

}  // namespace qvls::arith
