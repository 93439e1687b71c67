#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "pump/core/sine_oscillator.h"

namespace pump {
namespace {

constexpr double kTurn = 2 * std::numbers::pi;

TEST(NumericHelpers, SineTableIsTheRoundedSine) {
  for (int j = 0; j < 80; ++j) {
    EXPECT_EQ(kSineTable[j], std::lround(32767 * std::sin(kTurn * j / 64))) << "entry " << j;
  }
}

TEST(NumericHelpers, SineOscillatorAtTableStepsIsTheTable) {
  for (int j = 0; j < 64; ++j) {
    const double angle = kTurn * j / 64;
    const CosSin out = SineOscillator(static_cast<std::uint16_t>(1024 * j));
    EXPECT_LE(std::abs(out.sin - 32767 * std::sin(angle)), 0.5) << "step " << j;
    EXPECT_LE(std::abs(out.cos - 32767 * std::cos(angle)), 0.5) << "step " << j;
  }
}

// Between table steps the output is the nearest step turned to first order
// by at most half a step, d = pi / 64; the Taylor remainder of cos and sin is
// at most d^2 / 2. Three units more cover the table's rounding and the two
// truncating shifts.
TEST(NumericHelpers, SineOscillatorStaysWithinTheFirstOrderBoundOverEveryPhase) {
  const double d = std::numbers::pi / 64;
  const double bound = 32767 * d * d / 2 + 3;
  double worst = 0;
  for (std::uint32_t phase = 0; phase < 65536; ++phase) {
    const double angle = kTurn * phase / 65536;
    const CosSin out = SineOscillator(static_cast<std::uint16_t>(phase));
    worst = std::max({worst, std::abs(out.sin - 32767 * std::sin(angle)),
                      std::abs(out.cos - 32767 * std::cos(angle))});
  }
  EXPECT_LE(worst, bound);
  ::testing::Test::RecordProperty("max_error", std::to_string(worst));
  std::printf("SineOscillator: maximum error %.3f units (bound %.3f)\n", worst, bound);
}

}  // namespace
}  // namespace pump
