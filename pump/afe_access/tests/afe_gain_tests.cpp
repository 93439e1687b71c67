#include <gtest/gtest.h>

#include <cmath>

#include "pump/afe_access/afe_access.h"

namespace pump {
namespace {

TEST(AfeAccessGain, LevelsAndOutOfRange) {
  struct Case {
    int level;
    std::int16_t gain;
    LONG status;
  };
  AfeAccess access{};
  for (const Case c :
       {Case{0, 32767, 0}, Case{-1, 31990, 0}, Case{-95, 0, 0}, Case{-96, 0, kAfeStatusBadGain},
        Case{1, 0, kAfeStatusBadGain}, Case{-1000, 0, kAfeStatusBadGain}}) {
    access.last_status = 12345;
    EXPECT_EQ(AfeGain(access, c.level), c.gain) << c.level;
    EXPECT_EQ(access.last_status, c.status) << c.level;
  }
}

// Below full scale the table falls by exactly 1 dB a step from 31990.
TEST(AfeAccessGain, StepsOfOneDecibel) {
  AfeAccess access{};
  for (int k = 1; k <= 95; ++k) {
    const double expected = std::round(31990.0 * std::pow(10.0, -(k - 1) / 20.0));
    EXPECT_NEAR(AfeGain(access, -k), expected, 1.0) << k << " dB";
  }
}

}  // namespace
}  // namespace pump
