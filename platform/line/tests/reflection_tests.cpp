// The far end's reflection: what an end hears of its own signal coming back
// from the far end after the round trip, beside its own hybrid's echo.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "platform/line/gaussian_noise.h"
#include "platform/line/line.h"
#include "platform/line/taps.h"
#include "platform/line/tests/dft.h"

namespace plat::line {
namespace {

// End A sends `own` into the line (end B stays silent) and hears as much.
std::vector<std::int16_t> HeardAtA(const LineConfig& config, const std::vector<std::int16_t>& own) {
  Line line(config);
  MemoryTap tap;
  line.TapHeard(Side::kA, &tap);
  line.Send(Side::kA, own);
  line.DeliverUntil(Side::kA, static_cast<std::int64_t>(own.size()));
  return tap.samples();
}

// Correlates what A heard with what it sent at each lag below `lags`:
// returns the gain at each lag.
std::vector<double> EchoGains(const std::vector<std::int16_t>& own, const std::vector<std::int16_t>& heard,
                              std::size_t lags) {
  double energy = 0;
  for (const std::int16_t v : own) energy += double(v) * v;
  std::vector<double> gains(lags, 0.0);
  for (std::size_t lag = 0; lag < lags; ++lag) {
    double r = 0;
    for (std::size_t t = lag; t < own.size(); ++t) r += double(heard[t]) * own[t - lag];
    gains[lag] = r / energy;
  }
  return gains;
}

// Noise from A: its hybrid's echo at 8 dB after 20 samples, and B's
// reflection after both directions' delays (150 + 100) at the reflection's
// ERL and both directions' gains; nothing at other lags. Without a
// reflection configured the far echo is absent.
TEST(LineReflection, TheFarEchoReturnsAfterTheRoundTripAtItsLoss) {
  constexpr std::size_t kCount = 16000;
  GaussianNoise source(11, 0);
  std::vector<std::int16_t> own(kCount);
  for (auto& v : own) v = static_cast<std::int16_t>(std::lround(3000.0 * source.Next()));
  LineConfig config;
  config.heard_at[0] = {.gain_db = -3.0, .delay_samples = 100, .echo_erl_db = 8.0, .echo_delay_samples = 20};
  config.heard_at[1] = {.gain_db = -2.0, .delay_samples = 150, .reflection_erl_db = 10.0};
  const std::vector<double> gains = EchoGains(own, HeardAtA(config, own), 300);
  EXPECT_NEAR(testing::Db(gains[20]), -8.0, 0.05);
  EXPECT_NEAR(testing::Db(gains[250]), -15.0, 0.1);
  for (std::size_t lag = 0; lag < gains.size(); ++lag) {
    if (lag != 20 && lag != 250) {
      EXPECT_LT(std::abs(gains[lag]), 0.01) << lag;
    }
  }

  config.heard_at[1].reflection_erl_db.reset();
  EXPECT_LT(std::abs(EchoGains(own, HeardAtA(config, own), 300)[250]), 0.01);
}

// A tone from A comes back moved by both directions' frequency offsets
// (3 Hz toward B, 4 Hz back), at the reflection's loss.
TEST(LineReflection, TheFarEchoCarriesBothDirectionsOffsets) {
  constexpr double kRate = 8000.0;
  const std::vector<std::int16_t> own = testing::Cosine(8000.0, 1000.0, kRate, 24000);
  LineConfig config;
  config.heard_at[0] = {.delay_samples = 200, .frequency_offset_hz = 4.0};
  config.heard_at[1] = {.delay_samples = 200, .reflection_erl_db = 12.0, .frequency_offset_hz = 3.0};
  const std::vector<std::int16_t> heard = HeardAtA(config, own);
  const testing::ToneMeter meter(16000);
  const std::span<const std::int16_t> late = std::span(heard).subspan(4000);
  const double expected = 8000.0 * std::pow(10.0, -12.0 / 20);
  EXPECT_NEAR(std::abs(meter.At(late, kRate, 1007.0)), expected, expected * 0.02);
  EXPECT_LT(std::abs(meter.At(late, kRate, 1000.0)), expected * 0.01);
  EXPECT_LT(std::abs(meter.At(late, kRate, 1003.0)), expected * 0.01);
}

}  // namespace
}  // namespace plat::line
