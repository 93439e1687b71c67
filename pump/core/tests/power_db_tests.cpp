#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "pump/core/power_db.h"

namespace pump {
namespace {

constexpr int kBlock = 96;
constexpr double kPowerRate = 9600;
// Mean square of a full-scale sine: the 0 dB reference.
constexpr double kFullScaleSine = 32767.0 * 32767.0 / 2;

std::vector<std::int16_t> LevelledSine(double level_db, double hz, double phase) {
  const double amplitude = 32767 * std::pow(10, level_db / 20);
  std::vector<std::int16_t> block(kBlock);
  for (int i = 0; i < kBlock; ++i) {
    block[i] = static_cast<std::int16_t>(
        std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * i / kPowerRate + phase)));
  }
  return block;
}

double MeanSquareDb(const std::vector<std::int16_t>& block) {
  double sum = 0;
  for (const std::int16_t x : block) sum += static_cast<double>(x) * x;
  return 10 * std::log10(sum / block.size() / kFullScaleSine);
}

TEST(NumericHelpers, MeasurePowerDbKnownBlocks) {
  EXPECT_EQ(MeasurePowerDb(std::vector<std::int16_t>(kBlock, 0)), -87);
  EXPECT_EQ(MeasurePowerDb(std::vector<std::int16_t>(kBlock, 32767)), 3);
  EXPECT_EQ(MeasurePowerDb(LevelledSine(0, 1000, 0)), 0);
  EXPECT_EQ(MeasurePowerDb(LevelledSine(-20, 1000, 0)), -20);
  EXPECT_EQ(MeasurePowerDb({}), 0);
  // The largest square of all, in blocks of every length the sum must hold.
  for (int n : {1, 2, 3, 5, 96, 220, 1000}) {
    EXPECT_EQ(MeasurePowerDb(std::vector<std::int16_t>(n, -32768)), 3 * 30 - 87) << n;
  }
}

// Three units per octave of the mean square plus two bits below its leading
// one follow 10 log10 within 1 dB, until the truncation of each square by
// 2^5 (in a block of 96) starts to count: below about -66 dB, where the mean
// square is only some 130, the result falls more than 1 dB short.
TEST(NumericHelpers, MeasurePowerDbTracksTheLevelWithin1DbFromMinus60To0) {
  for (double level = -60; level <= 0; level += 0.5) {
    for (double hz : {300.0, 1000.0, 1800.0, 3000.0}) {
      for (double phase : {0.0, 1.1}) {
        const auto block = LevelledSine(level, hz, phase);
        EXPECT_NEAR(MeasurePowerDb(block), MeanSquareDb(block), 1.0)
            << level << " dB at " << hz << " Hz";
      }
    }
  }
}

}  // namespace
}  // namespace pump
