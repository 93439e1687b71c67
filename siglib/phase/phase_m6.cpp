// The phase, m6 variant: the generic arithmetic written without branches on
// the data (selections instead), element by element.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "siglib/phase/phase_entries.h"
#include "siglib/phase/phase_rules.h"

namespace qvls::phase {
namespace {

std::int16_t ReferenceSelected(qvls_ci16 z, double scale) {
  const double v = std::atan2(static_cast<double>(z.im), static_cast<double>(z.re)) * scale;
  return static_cast<std::int16_t>(RoundHalfAway(std::min(std::max(v, -32768.0), 32767.0)));
}

std::int16_t CoarseSelected(qvls_ci16 z) {
  const double re = z.re;
  const double l = std::fabs(static_cast<double>(z.im)) + kTiny;
  const bool left = re < 0;
  const double num = left ? re + l : re - l;
  const double den = left ? l - re : re + l;
  const double base = left ? kThreeQuarterPi : kQuarterPi;
  const double a = base - kQuarterPi * (num / den);
  const std::int64_t r = RoundHalfAway(z.im < 0 ? -a : a);
  return static_cast<std::int16_t>((z.re | z.im) == 0 ? 0 : r);
}

}  // namespace
}  // namespace qvls::phase

qvls_status qvlsPhase_ci16toi16_sc_m6(const qvls_ci16* src, std::int16_t* dst, std::int32_t len,
                                      std::int32_t sf) {
  return qvls::phase::RunElementwise(src, dst, len, sf, qvls::phase::ReferenceSelected,
                                     qvls::phase::CoarseSelected);
}
