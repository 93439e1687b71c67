#include "siglib/tests/support/scale_model.h"

namespace qvls_test {
namespace {

__int128 Magnitude(__int128 v) { return v < 0 ? -v : v; }

// Rounds n / d for d > 0: q is the floor and 0 <= r < d the remainder.
__int128 RoundQuotient(__int128 n, __int128 d, Rounding rounding) {
  __int128 q = n / d;
  __int128 r = n % d;
  if (r < 0) {  // C++ division truncates; make it the floor
    q -= 1;
    r += d;
  }
  if (r == 0) return q;
  switch (rounding) {
    case Rounding::kFloor:
      return q;
    case Rounding::kTowardZero:
      return n < 0 ? q + 1 : q;
    case Rounding::kHalfAwayFromZero:
      if (2 * r == d) return n < 0 ? q : q + 1;
      return 2 * r > d ? q + 1 : q;
    case Rounding::kHalfEven:
      if (2 * r == d) return (q % 2 == 0) ? q : q + 1;
      return 2 * r > d ? q + 1 : q;
  }
  return q;
}

}  // namespace

__int128 Scale(__int128 p, std::int64_t sf, Rounding rounding) {
  if (sf > 0) {
    // With |p| < 2^100, every sf from 120 up leaves a magnitude below 2^-20:
    // one result for all of them, reached without overflowing the divisor.
    const std::int64_t shift = sf < 120 ? sf : 120;
    return RoundQuotient(p, static_cast<__int128>(1) << shift, rounding);
  }
  if (p == 0) return 0;
  const __int128 beyond = p < 0 ? -kBeyond64Bits : kBeyond64Bits;
  if (sf <= -100) return beyond;
  const std::int64_t n = -sf;
  if (Magnitude(p) >= (kBeyond64Bits >> n)) return beyond;
  return p * (static_cast<__int128>(1) << n);
}

}  // namespace qvls_test
