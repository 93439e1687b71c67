// Loopbacks: the digital one (ADC = DAC two samples later, no gain stages),
// the analog one (eight samples later through the DAA's gain stages), their
// fault knobs, and the loopback self test's transfer seeing both wrap bits
// within its poll budget at every rate.
#include <gtest/gtest.h>

#include <random>

#include "platform/sim/tests/driver_steps.h"

namespace plat::sim::testing {
namespace {

// Plays seeded random words for `duration` through the ring and returns the taps.
std::vector<TapSample> PlayRandom(SimRig& rig, Instant duration, std::uint64_t seed = 7) {
  const Ring ring = AllocateRing(rig, 96);
  std::mt19937 random(static_cast<std::uint32_t>(seed));
  for (std::uint32_t i = 0; i < 32 * 96; ++i) SetWord(ring.transmit, i, random());
  const std::size_t first = rig.tap.size();
  StartDma(rig, ring);
  rig.Write(reg::kInterruptEnable, 0);
  rig.Stall(duration);
  rig.Clear(reg::kRun, reg::kRunEngines);
  FreeRing(rig, ring);
  return {rig.tap.begin() + static_cast<std::ptrdiff_t>(first), rig.tap.end()};
}

void ExpectDelayed(const std::vector<TapSample>& taps, unsigned delay,
                   const std::function<std::int16_t(std::int16_t)>& through) {
  ASSERT_GT(taps.size(), delay + 100);
  for (std::size_t i = delay; i < taps.size(); ++i) {
    ASSERT_EQ(taps[i].adc, through(taps[i - delay].dac)) << "sample " << i;
  }
}

std::int16_t Same(std::int16_t s) { return s; }

TEST(SimLoopback, DigitalLoopbackIsTheDacTwoSamplesLaterWithoutGainStages) {
  SimRig rig;
  rig.Write(reg::kHook, reg::kOffHook);
  rig.line.input = [](Instant) { return std::int16_t{-5000}; };
  rig.Write(reg::kLineLevels, 0x44);  // the line path's stages do not apply
  rig.Write(reg::kDigitalPaths, reg::kDigitalLoopback);
  ExpectDelayed(PlayRandom(rig, 30 * hal::kMillisecond), 2, Same);
}

TEST(SimLoopback, AnalogLoopbackIsTheDacEightSamplesLaterThroughTheDaa) {
  struct Row {
    std::uint8_t levels;
    double factor;  // attenuation times gain
  };
  const Row rows[] = {{0x00, 1.0}, {0x22, 1.0}, {0x40, 0.2512}, {0x04, 3.981}, {0x80, 0.0}};
  for (const Row& row : rows) {
    SimRig rig;
    rig.Write(reg::kHook, reg::kOffHook);
    rig.line.input = [](Instant) { return std::int16_t{-5000}; };  // not heard in loopback
    rig.Write(reg::kLineLevels, row.levels);
    rig.Write(reg::kCodecPaths, reg::kAnalogLoopback);
    const auto taps = PlayRandom(rig, 30 * hal::kMillisecond);
    ASSERT_GT(taps.size(), 200u);
    for (std::size_t i = 8; i < taps.size(); ++i) {
      const double expected = std::clamp(taps[i - 8].dac * row.factor, -32768.0, 32767.0);
      ASSERT_NEAR(taps[i].adc, expected, 2.0 + std::abs(expected) * 1e-3)
          << "levels " << int{row.levels} << " sample " << i;
    }
  }
}

TEST(SimLoopback, KnobsChangeWhatComesBack) {
  {
    SimRig rig;
    rig.controller.Knobs().loopback.delay = 5;
    rig.Write(reg::kDigitalPaths, reg::kDigitalLoopback);
    ExpectDelayed(PlayRandom(rig, 20 * hal::kMillisecond), 5, Same);
  }
  {
    SimRig rig;
    rig.controller.Knobs().loopback.gain = 0.5;
    rig.Write(reg::kDigitalPaths, reg::kDigitalLoopback);
    ExpectDelayed(PlayRandom(rig, 20 * hal::kMillisecond), 2,
                  [](std::int16_t s) { return static_cast<std::int16_t>(std::lround(s * 0.5)); });
  }
  {
    SimRig rig;
    rig.controller.Knobs().loopback.all_zero = true;
    rig.Write(reg::kDigitalPaths, reg::kDigitalLoopback);
    ExpectDelayed(PlayRandom(rig, 20 * hal::kMillisecond), 2, [](std::int16_t) { return 0; });
  }
}

std::vector<std::int16_t> NoiseOf(std::uint64_t seed) {
  SimRig rig;
  rig.controller.Knobs().loopback.noise_amplitude = 300;
  rig.controller.Knobs().loopback.noise_seed = seed;
  rig.Write(reg::kDigitalPaths, reg::kDigitalLoopback);
  const auto taps = PlayRandom(rig, 20 * hal::kMillisecond);
  std::vector<std::int16_t> noise;
  for (std::size_t i = 2; i < taps.size(); ++i) {
    const int n = taps[i].adc - taps[i - 2].dac;
    if (std::abs(taps[i - 2].dac) < 32000) noise.push_back(static_cast<std::int16_t>(n));
  }
  return noise;
}

TEST(SimLoopback, SeededNoiseIsBoundedAndRepeatsWithItsSeed) {
  const auto a = NoiseOf(11);
  const auto b = NoiseOf(11);
  const auto c = NoiseOf(12);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  int lowest = 0, highest = 0;
  double sum = 0;
  for (std::int16_t n : a) {
    lowest = std::min<int>(lowest, n);
    highest = std::max<int>(highest, n);
    sum += n;
  }
  EXPECT_GE(lowest, -300);
  EXPECT_LE(highest, 300);
  EXPECT_LT(lowest, -250) << "uniform noise reaches near its peak";
  EXPECT_GT(highest, 250);
  EXPECT_LT(std::abs(sum / static_cast<double>(a.size())), 30.0);
}

const std::vector<std::int16_t> kSelfTestSignal = [] {
  const std::int16_t half[] = {0,     10880, 28045,  20352, -6312,  14658,  7401, -19176,
                               12264, -3987, -13358, 18153, -16334, -22938, 819,  2595,
                               24185, 6087,  -16751, 1916,  17868,  31996,  8463, -6575,
                               21938, 2387,  -17487, 16902, 27890,  6246,   2461, 11162};
  std::vector<std::int16_t> one(64);
  for (int k = 0; k < 32; ++k) one[k] = half[k];
  for (int k = 1; k < 32; ++k) one[32 + k] = static_cast<std::int16_t>(-one[32 - k]);
  std::vector<std::int16_t> three;
  for (int r = 0; r < 3; ++r) three.insert(three.end(), one.begin(), one.end());
  return three;
}();

TEST(SimLoopback, SelfTestTransferSeesBothWrapBitsAtEveryRate) {
  for (std::uint8_t code = 0; code < kRateCodeCount; ++code) {
    SimRig rig;
    AfeInitSteps(rig, code);
    const Ring ring = AllocateRing(rig, 96);
    const Instant started = rig.now;
    ASSERT_TRUE(LoopbackTransfer(rig, ring, kSelfTestSignal)) << "rate code " << int{code};
    EXPECT_LT(rig.now - started, 500 * hal::kMillisecond);
    EXPECT_EQ(Word(ring.receive, 0), 0u);
    EXPECT_EQ(Word(ring.receive, 1), 0u);
    for (std::uint32_t k = 2; k < kSelfTestSignal.size(); ++k) {
      ASSERT_EQ(static_cast<std::int16_t>(Word(ring.receive, k)), kSelfTestSignal[k - 2])
          << "rate code " << int{code} << " word " << k;
    }
    FreeRing(rig, ring);
  }
}

}  // namespace
}  // namespace plat::sim::testing
