#include "pump/v32/timing.h"

#include <algorithm>

namespace pump::v32 {
namespace {

std::int64_t Filter(const std::array<std::int32_t, 9>& taps, const std::array<Complex, 9>& h, bool imaginary) {
  std::int64_t sum = 0;
  for (std::size_t k = 0; k < taps.size(); ++k) sum += static_cast<std::int64_t>(taps[k]) * (imaginary ? h[k].im : h[k].re);
  return sum;
}

std::int32_t InterpolatePart(const std::array<Complex, 9>& h, std::int64_t mu, std::int64_t mu2, std::int64_t mu3,
                             bool imaginary) {
  const std::int64_t slope = (Filter(kSlopeTaps, h, imaginary) + 0x4000) >> 15;
  const std::int64_t curve = (Filter(kCurveTaps, h, imaginary) + 0x4000) >> 15;
  const std::int64_t cubic = (Filter(kCubicTaps, h, imaginary) + 0x8000) >> 16;
  const std::int64_t middle = imaginary ? h[4].im : h[4].re;
  return static_cast<std::int32_t>(middle + ((slope * mu + 2 * curve * mu2 + cubic * mu3 + 0x4000) >> 15));
}

}  // namespace

Complex Interpolate(const std::array<Complex, 9>& history, std::int32_t mu) {
  const std::int64_t m = mu;
  const std::int64_t m2 = (m * m) >> 15;
  const std::int64_t m3 = (m2 * m) >> 15;
  return {InterpolatePart(history, m, m2, m3, false), InterpolatePart(history, m, m2, m3, true)};
}

int TimingStep(TimingInstant& t, Complex sample, Complex out[2]) {
  std::copy(t.history.begin() + 1, t.history.end(), t.history.begin());
  t.history[8] = sample;
  int n = 0;
  while (t.instant < kTimingOne / 2 && n < 2) {
    out[n++] = Interpolate(t.history, static_cast<std::int32_t>(std::clamp<std::int64_t>(t.instant >> 17, -32768, 32767)));
    t.instant += t.step;
  }
  t.instant -= kTimingOne;
  return n;
}

}  // namespace pump::v32
