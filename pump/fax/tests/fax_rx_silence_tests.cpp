// Kind 1 receiving: status bit 0x10 follows the line level, with no
// interrupt; the level's logarithm against 10 log10 of the mean square.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "pump/core/comram.h"
#include "pump/fax/fax_rx_silence.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

// Every mean square from 1 to 2^31 in steps of 1/50 octave, against
// -10 log10(mean square / 2^29) (0 dB: a full-scale sine). The half-dB
// steps of the piecewise logarithm round down in the halving, so it
// reads up to 1.26 dB high and never more than 0.25 dB low.
TEST(FaxConfig, RxSilenceAttenuationFollowsTheMeanSquare) {
  double worst_high = 0, worst_low = 0;
  for (int step = 0; step <= 31 * 50; ++step) {
    const double ms = std::exp2(31.0 - step / 50.0);
    const auto value = static_cast<std::uint32_t>(std::min(ms, 2147483647.0));
    const double exact = -10 * std::log10(value / std::exp2(29));
    const double error = FaxAttenuationDb(value) - exact;
    worst_high = std::max(worst_high, error);
    worst_low = std::min(worst_low, error);
  }
  EXPECT_LE(worst_high, 1.26);
  EXPECT_GE(worst_low, -0.25);
  // Silence saturates, full scale reads about 0 dB.
  EXPECT_EQ(FaxAttenuationDb(0), FaxAttenuationDb(1));
  EXPECT_NEAR(FaxAttenuationDb(1u << 29), 0, 1);
}

// A 1000 Hz tone at each level, 20 blocks: the bit is set below 44 dB of
// attenuation, clear above, and a DC offset alone does not set it. No
// interrupt reaches the controller.
TEST(FaxConfig, RxSilenceSetsTheCarrierBitBelow44Db) {
  struct Row {
    double level_db;  // below a full-scale sine
    double dc;
    bool present;
  };
  const Row rows[] = {{-10, 0, true}, {-40, 0, true}, {-42, 0, true}, {-47, 0, false},
                      {-60, 0, false}, {-200, 8000, false}};
  for (const auto& row : rows) {
    testing::PumpHarness harness;
    harness.Run([&] {
      auto& controller = harness.Controller();
      controller.Exchange(0x60, {0});
      controller.Exchange(0x73, {0x10, 0x04});
      std::vector<std::int16_t> line(96 * 20);
      const double amplitude = 32767 * std::pow(10.0, row.level_db / 20);
      for (std::size_t n = 0; n < line.size(); ++n) {
        line[n] = static_cast<std::int16_t>(
            std::lround(row.dc + amplitude * std::sin(2 * std::numbers::pi * 1000 * n / 9600.0)));
      }
      harness.Afe().FeedLine(line);
      const int interrupts = controller.Interrupts();
      harness.RunBlocks(16);
      const std::uint8_t status = harness.Host().comram.reg[kRegStatus];
      EXPECT_EQ((status & kStatusCarrier) != 0, row.present) << row.level_db;
      EXPECT_EQ(status & 0x0F, 0) << row.level_db;
      EXPECT_EQ(controller.Interrupts(), interrupts) << row.level_db;
    });
  }
}

}  // namespace
}  // namespace pump
