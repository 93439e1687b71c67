#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <set>
#include <utility>

#include "pump/detect/coefficients.h"

namespace pump {
namespace {

// round(32767 {1, -2 cos w, 1, 2 r cos w, -r^2}) for a notch at hz of a
// rate_hz signal, r = 0.9.
std::array<double, 5> Designed(const NotchSet& set) {
  const double w = 2 * std::numbers::pi * set.hz / set.rate_hz;
  constexpr double r = 0.9;
  return {32767.0, -2 * std::cos(w) * 32767, 32767.0, 2 * r * std::cos(w) * 32767, -r * r * 32767};
}

TEST(NotchCoefficients, EachSetHasItsZerosAtItsFrequencyAndPolesOfRadiusNineTenths) {
  std::set<std::pair<int, int>> seen;
  for (const NotchSet* set : notch::kAll) {
    SCOPED_TRACE(::testing::Message() << set->hz << " Hz at " << set->rate_hz << " Hz");
    EXPECT_TRUE(seen.insert({set->hz, set->rate_hz}).second) << "listed twice";
    const std::array<double, 5> designed = Designed(*set);
    for (int i = 0; i < 5; ++i) {
      if (set == &notch::k2225 && i == 1) continue;  // the exception below
      EXPECT_LE(std::abs(set->c[i] - std::round(designed[i])), 1.0) << "c" << i;
    }
  }
}

TEST(NotchCoefficients, The2225HzSetKeepsItsFirstZeroWordAndSitsAFifthOfAHertzHigh) {
  EXPECT_EQ(std::lround(Designed(notch::k2225)[1]), -7490);
  EXPECT_EQ(notch::k2225.c[1], -7480);
  // Its zeros: 2 cos w = 7480 / 32767.
  const double zeros_hz = std::acos(7480.0 / (2 * 32767)) * 9600 / (2 * std::numbers::pi);
  EXPECT_NEAR(zeros_hz, 2225.2, 0.1);
}

}  // namespace
}  // namespace pump
