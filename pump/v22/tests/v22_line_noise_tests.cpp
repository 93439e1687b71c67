// The line's noise changed during a run (Line::SetNoise), as the BER
// measurements against spandsp do once the handshake is over: the level
// heard changes from the next instant, and no noise leaves the far signal
// alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/line/levels.h"
#include "platform/line/line_direction.h"

namespace pump {
namespace {

namespace pl = plat::line;

double NoiseDbm0Of(const std::vector<std::int16_t>& x) {
  double power = 0;
  for (const std::int16_t v : x) power += static_cast<double>(v) * v;
  power /= static_cast<double>(x.size());
  const double zero = pl::RmsAt(0);
  return 10 * std::log10(power / (zero * zero));
}

TEST(LineNoise, ChangesFromTheNextInstant) {
  pl::LineDirection line({.noise_dbm0 = -30.0, .delay_samples = 1, .seed = 3});
  const std::vector<std::int16_t> far(3 * 8000 + 1, 0);
  line.SendFar(far);
  std::vector<std::int16_t> heard(8000);
  line.Receive(heard);
  EXPECT_NEAR(NoiseDbm0Of(heard), -30, 0.2);
  line.SetNoise(-42.0);
  line.Receive(heard);
  EXPECT_NEAR(NoiseDbm0Of(heard), -42, 0.2);
  line.SetNoise(std::nullopt);
  line.Receive(heard);
  EXPECT_EQ(std::count(heard.begin(), heard.end(), 0), 8000);
}

}  // namespace
}  // namespace pump
