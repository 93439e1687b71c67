#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "platform/line/gaussian_noise.h"
#include "platform/line/levels.h"
#include "platform/line/line_direction.h"
#include "platform/line/line_port.h"
#include "platform/line/tests/dft.h"

namespace plat::line {
namespace {

// Sends `far` (and `near`, the receiving end's own output) and receives as
// many samples as the far input covers.
std::vector<std::int16_t> Through(LineDirection& line, std::span<const std::int16_t> far,
                                  std::span<const std::int16_t> near = {}) {
  line.SendFar(far);
  line.SendNear(near);
  std::vector<std::int16_t> heard(far.size());
  line.Receive(heard);
  return heard;
}

std::vector<std::int16_t> Impulse(std::size_t length, std::size_t at, std::int16_t value) {
  std::vector<std::int16_t> x(length, 0);
  x[at] = value;
  return x;
}

TEST(LineImpairments, AnImpulseArrivesAfterExactlyTheBulkDelay) {
  for (std::int64_t delay : {1, 2, 17, 800}) {
    LineDirection line({.delay_samples = delay});
    const auto heard = Through(line, Impulse(1000, 5, 12345));
    for (std::size_t t = 0; t < heard.size(); ++t) {
      ASSERT_EQ(heard[t], t == 5 + static_cast<std::size_t>(delay) ? 12345 : 0)
          << "delay " << delay << ", instant " << t;
    }
  }
}

TEST(LineImpairments, GainScalesByItsDecibels) {
  const testing::ToneMeter meter(4096);
  for (double gain_db : {0.0, -6.0, -20.5, -43.0, 3.0}) {
    LineDirection line({.gain_db = gain_db});
    const auto heard = Through(line, testing::Cosine(10000.0, 1020.0, 8000.0, 4200));
    const double measured = std::abs(meter.At(std::span(heard).subspan(1), 8000.0, 1020.0));
    // Within 0.005 dB, plus what rounding to whole samples may take off a small output.
    const double rounding_db = testing::Db(1.0 + 0.5 / (10000.0 * std::pow(10.0, gain_db / 20)));
    EXPECT_NEAR(testing::Db(measured / 10000.0), gain_db, 0.005 + rounding_db) << gain_db;
  }
  // 0 dB passes samples unchanged.
  LineDirection line({});
  const auto far = testing::Cosine(32767.0, 350.0, 8000.0, 500);
  const auto heard = Through(line, far);
  EXPECT_TRUE(std::equal(far.begin(), far.end() - 1, heard.begin() + 1));
}

// Noise alone: its power is the level asked for, within the spread of a power
// estimate over this many samples; it is white (no correlation between
// neighbours) and Gaussian (kurtosis 3); the seed and direction fix it.
TEST(LineImpairments, NoiseHasItsLevelAndIsWhiteGaussianAndSeeded) {
  constexpr std::size_t kCount = 64000;
  const double bound = 5.0 / std::sqrt(static_cast<double>(kCount));  // five standard errors
  LineDirectionConfig config{.noise_dbm0 = -30.0, .seed = 42, .direction = 1};
  LineDirection line(config);
  const std::vector<std::int16_t> silence(kCount, 0);
  const auto noise = Through(line, silence);

  const double expected_power = RmsAt(-30.0) * RmsAt(-30.0);
  double mean = 0.0, power = 0.0, fourth = 0.0;
  for (std::int16_t v : noise) {
    mean += v;
    power += double(v) * v;
  }
  mean /= kCount;
  power /= kCount;
  for (std::int16_t v : noise) fourth += std::pow(v - mean, 4);
  fourth /= kCount;
  EXPECT_NEAR(mean / std::sqrt(expected_power), 0.0, bound);
  EXPECT_NEAR(power / expected_power, 1.0, bound * std::sqrt(2.0));
  EXPECT_NEAR(fourth / (power * power), 3.0, bound * std::sqrt(24.0));
  for (std::size_t lag = 1; lag <= 8; ++lag) {
    double r = 0.0;
    for (std::size_t t = lag; t < kCount; ++t) r += double(noise[t]) * noise[t - lag];
    EXPECT_NEAR(r / kCount / power, 0.0, bound) << "lag " << lag;
  }

  LineDirection same(config);
  EXPECT_EQ(Through(same, silence), noise);
  config.direction = 0;
  LineDirection other(config);
  const auto other_noise = Through(other, silence);
  double cross = 0.0;
  for (std::size_t t = 0; t < kCount; ++t) cross += double(noise[t]) * other_noise[t];
  EXPECT_NEAR(cross / kCount / power, 0.0, bound) << "the two directions' noise is correlated";
}

// The near end sends noise and hears its own echo: the cross-correlation of
// what it sends with what it hears peaks at the echo delay, at the ERL.
TEST(LineImpairments, EchoDelayAndLossAreFoundByCorrelation) {
  constexpr std::size_t kCount = 16000;
  GaussianNoise source(7, 0);
  std::vector<std::int16_t> own(kCount);
  for (auto& v : own) v = static_cast<std::int16_t>(std::lround(3000.0 * source.Next()));
  LineDirection line({.echo_erl_db = 12.0, .echo_delay_samples = 37});
  const auto heard = Through(line, std::vector<std::int16_t>(kCount, 0), own);

  const double own_energy =
      std::inner_product(own.begin(), own.end(), own.begin(), 0.0, std::plus<>(),
                         [](std::int16_t a, std::int16_t b) { return double(a) * b; });
  std::size_t best_lag = 0;
  double best = 0.0;
  for (std::size_t lag = 0; lag < 100; ++lag) {
    double r = 0.0;
    for (std::size_t t = lag; t < kCount; ++t) r += double(heard[t]) * own[t - lag];
    if (std::abs(r) > std::abs(best)) {
      best = r;
      best_lag = lag;
    }
  }
  EXPECT_EQ(best_lag, 37u);
  EXPECT_NEAR(testing::Db(best / own_energy), -12.0, 0.05);
}

TEST(LineImpairments, CompandingRunsTheFarSignalThroughG711) {
  std::vector<std::int16_t> far(2000);
  for (std::size_t i = 0; i < far.size(); ++i) far[i] = static_cast<std::int16_t>(i * 977 % 65536);
  for (Companding law : {Companding::kMuLaw, Companding::kALaw}) {
    LineDirection line({.delay_samples = 3, .companding = law});
    const auto heard = Through(line, far);
    for (std::size_t t = 3; t < heard.size(); ++t)
      ASSERT_EQ(heard[t], Compand(law, far[t - 3])) << t;
  }
}

TEST(LineImpairments, ABreakSilencesTheLineForItsInterval) {
  LineDirection line({.noise_dbm0 = -40.0});
  line.AddBreak(100, 250);
  const auto heard = Through(line, testing::Cosine(8000.0, 600.0, 8000.0, 400));
  for (std::size_t t = 1; t < heard.size(); ++t) {
    if (t >= 100 && t < 250) {
      ASSERT_EQ(heard[t], 0) << t;
    } else {
      ASSERT_NE(heard[t], 0) << t;  // tone plus noise
    }
  }
}

// Sends `sent` far samples, then asks for `wanted`.
void ReceiveAfterSending(const LineDirectionConfig& config, std::size_t sent, std::size_t wanted) {
  LineDirection line(config);
  line.SendFar(std::vector<std::int16_t>(sent, 1));
  std::vector<std::int16_t> heard(wanted);
  line.Receive(heard);
}

// What an end hears at t depends only on what was sent up to t - 1.
TEST(LineImpairments, ReceivingAheadOfTheSendersIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(LineDirection({.delay_samples = 0}), "FATAL \\[line-delay\\]");
  EXPECT_DEATH(LineDirection({.echo_delay_samples = -3}), "FATAL \\[line-delay\\]");
  ReceiveAfterSending({.delay_samples = 2}, 10, 12);  // up to instant 11: sent up to 9 suffices
  EXPECT_DEATH(ReceiveAfterSending({.delay_samples = 2}, 10, 13), "FATAL \\[line-causality\\]");
  // With echo, the near end's own output is needed too.
  EXPECT_DEATH(ReceiveAfterSending({.echo_erl_db = 20.0}, 10, 2), "FATAL \\[line-causality\\]");
  EXPECT_DEATH(
      {
        ResamplerDesigns designs;
        LinePort port(designs, 5);
        port.WriteCodec(std::vector<std::int16_t>(100, 1));
        std::vector<std::int16_t> line(90);
        port.ReadLine(line);
      },
      "FATAL \\[line-causality\\]");
}

}  // namespace
}  // namespace plat::line
