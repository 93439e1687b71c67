// Lane rules that the 16-bit kernels of both register widths share: the
// rounding of 32-bit lanes by a positive scale factor, and the narrowing of a
// saturated 16-bit value to its sign.
#pragma once

#include <cstdint>

#include "siglib/arith/packed_ops.h"

namespace qvls::arith {

// 32-bit lanes x times 2^-sf, to the nearest with ties to even:
// (x + 2^(sf-1) - 1 + bit sf of x) >> sf, arithmetic. For 1 <= sf <= 30 and
// lanes whose |x| + 2^(sf-1) stays below 2^31, so nothing wraps.
template <class V>
struct RoundDownLanes {
  explicit RoundDownLanes(std::int32_t sf)
      : bias(Broadcast32<V>((std::int32_t{1} << (sf - 1)) - 1)),
        one(Broadcast32<V>(1)),
        count(Count<V>(sf)) {}

  V operator()(V x) const { return Sra32(Add32(Add32(x, bias), And(Srl32(x, count), one)), count); }

  V bias;
  V one;
  V count;
};

// 32767, -32768 or 0 in each 16-bit lane by the sign of s: s placed in the
// upper half of a 32-bit lane and narrowed with signed saturation.
template <class V>
V SignOf16(V s) {
  const V zero = Zero<V>();
  return Pack32(UnpackLo16(zero, s), UnpackHi16(zero, s));
}

// 16-bit lanes s widened with their sign to 32-bit lanes, shifted left by
// the count (at most 15) and narrowed again with saturation.
template <class V>
V ShiftLeft16(V s, V count) {
  const V zero = Zero<V>();
  const V lo = Sll32(Sra32(UnpackLo16(zero, s), 16), count);
  const V hi = Sll32(Sra32(UnpackHi16(zero, s), 16), count);
  return Pack32(lo, hi);
}

}  // namespace qvls::arith
