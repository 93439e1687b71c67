// The phase, generic variant: the reference angle for sf != 0 and the coarse
// angle for sf = 0, in double precision, one element at a time.
#include <cmath>
#include <cstdint>

#include "siglib/phase/phase_entries.h"
#include "siglib/phase/phase_rules.h"

namespace qvls::phase {
namespace {

std::int16_t CoarseResult(qvls_ci16 z) {
  if (z.re == 0 && z.im == 0) return 0;
  const double re = z.re;
  const double l = std::fabs(static_cast<double>(z.im)) + kTiny;
  double a;
  if (re >= 0) {
    a = kQuarterPi - kQuarterPi * ((re - l) / (re + l));
  } else {
    a = kThreeQuarterPi - kQuarterPi * ((re + l) / (l - re));
  }
  if (z.im < 0) a = -a;
  return static_cast<std::int16_t>(RoundHalfAway(a));
}

}  // namespace
}  // namespace qvls::phase

qvls_status qvlsPhase_ci16toi16_sc_px(const qvls_ci16* src, std::int16_t* dst, std::int32_t len,
                                      std::int32_t sf) {
  return qvls::phase::RunElementwise(src, dst, len, sf, qvls::phase::ReferenceResult,
                                     qvls::phase::CoarseResult);
}
