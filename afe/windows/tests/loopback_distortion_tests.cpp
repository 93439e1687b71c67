// The loopback measure against closed forms. A received block that is the
// sent block times g, delayed by d, makes the power-matched sent block g²·s,
// so A = g⁴·Σs² and X = g³·Σs² over the shared samples, and the distortion
// is |1 - 1/g|·100 percent, within 1 for the integer steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "afe/windows/loopback_distortion.h"
#include "afe/windows/self_test.h"

namespace afe::testing {
namespace {

std::vector<SHORT> Sent() {
  std::vector<SHORT> s;
  for (int r = 0; r < 3; ++r) s.insert(s.end(), kLoopbackSignal.begin(), kLoopbackSignal.end());
  return s;
}

SHORT Clamped(double x) { return static_cast<SHORT>(std::clamp(std::lround(x), -32768L, 32767L)); }

// The sent block times `gain`, `delay` samples late (silence before it),
// plus `noise` when given.
std::vector<SHORT> Looped(double gain, int delay, const std::vector<int>& noise = {}) {
  const std::vector<SHORT> s = Sent();
  std::vector<SHORT> r(s.size(), 0);
  for (std::size_t k = 0; k < r.size(); ++k) {
    const double looped = k >= static_cast<std::size_t>(delay) ? gain * s[k - delay] : 0.0;
    r[k] = Clamped(looped + (noise.empty() ? 0 : noise[k]));
  }
  return r;
}

std::optional<ULONG> Distortion(const std::vector<SHORT>& received) {
  return LoopbackDistortion(Sent(), received);
}

TEST(LoopbackDistortion, TheSignalIsOddAboutItsMiddle) {
  EXPECT_EQ(kLoopbackSignal[0], 0);
  EXPECT_EQ(kLoopbackSignal[32], 0);
  for (int k = 1; k < 32; ++k) EXPECT_EQ(kLoopbackSignal[32 + k], -kLoopbackSignal[32 - k]) << k;
}

TEST(LoopbackDistortion, APerfectLoopGivesZeroAtEveryDelayInReach) {
  for (int delay = 0; delay <= 74; ++delay) {
    EXPECT_EQ(Distortion(Looped(1.0, delay)), 0u) << "delay " << delay;
  }
}

TEST(LoopbackDistortion, ALoopOfGainGMeasuresOneMinusOneOverG) {
  struct Row {
    double gain;
    ULONG distortion;
  };
  // g = 0.95 stays within the default threshold of 5.
  for (const Row row : {Row{0.95, 5}, Row{0.8, 25}, Row{0.5, 100}, Row{-1.0, 200}}) {
    EXPECT_EQ(Distortion(Looped(row.gain, 2)), row.distortion) << "gain " << row.gain;
  }
  for (int percent = 30; percent <= 100; percent += 5) {
    const double gain = percent / 100.0;
    const double expected = std::abs(1.0 - 1.0 / gain) * 100.0;
    for (const int delay : {0, 13, 50, 74}) {
      const std::optional<ULONG> measured = Distortion(Looped(gain, delay));
      ASSERT_TRUE(measured) << "gain " << gain << " delay " << delay;
      EXPECT_NEAR(*measured, expected, 1.0) << "gain " << gain << " delay " << delay;
    }
  }
}

TEST(LoopbackDistortion, RisingNoiseNeverLowersTheValue) {
  for (const std::uint32_t seed : {1u, 2u, 3u, 4u, 5u}) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> unit(-1000, 1000);
    std::vector<int> pattern(kLoopbackSamples);
    for (int& e : pattern) e = unit(random);
    ULONG previous = 0;
    for (const int level : {0, 250, 500, 1000, 2000, 4000, 8000, 16000}) {
      std::vector<int> noise(pattern.size());
      for (std::size_t k = 0; k < noise.size(); ++k) noise[k] = pattern[k] * level / 1000;
      const std::optional<ULONG> measured = Distortion(Looped(1.0, 2, noise));
      ASSERT_TRUE(measured) << "seed " << seed << " level " << level;
      EXPECT_GE(*measured, previous) << "seed " << seed << " level " << level;
      previous = *measured;
    }
    EXPECT_GT(previous, kDefaultLoopbackThreshold) << "strong noise fails the default threshold";
  }
}

// What cannot be measured is nothing, never a division by zero or a read
// outside the received block.
TEST(LoopbackDistortion, WhatCannotBeMeasured) {
  const std::vector<SHORT> s = Sent();
  std::vector<SHORT> early(s.size());  // comes back 5 samples before it was sent
  for (std::size_t k = 0; k < s.size(); ++k) early[k] = s[(k + 5) % s.size()];
  struct Row {
    const char* what;
    std::vector<SHORT> sent;
    std::vector<SHORT> received;
  };
  const Row rows[] = {
      {"nothing came back", s, std::vector<SHORT>(s.size(), 0)},
      {"delay below 0", s, early},
      {"nothing was sent", std::vector<SHORT>(s.size(), 0), s},
      {"no samples", {}, {}},
      {"unequal lengths", s, std::vector<SHORT>(s.begin(), s.end() - 1)},
      {"longer than the test block", std::vector<SHORT>(s.size() + 1, 100),
       std::vector<SHORT>(s.size() + 1, 100)},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(LoopbackDistortion(row.sent, row.received), std::nullopt) << row.what;
  }
}

// A faint sent block against a full-scale received one scales the sent
// block far beyond 16 bits; the sums hold it.
TEST(LoopbackDistortion, AFaintSentBlockIsMeasuredWithoutOverflow) {
  std::vector<SHORT> faint = Sent();
  for (SHORT& x : faint) x = static_cast<SHORT>(x / 1024);
  const std::optional<ULONG> measured = LoopbackDistortion(faint, Sent());
  ASSERT_TRUE(measured);
  EXPECT_NEAR(*measured, 100.0 * (1.0 - 1.0 / 1024), 1.0);
}

// Impulses: r = δ at p and s = δ at q meet at index p + q - n + lags / 4
// with the value 1; equal magnitudes go to the later index.
TEST(FindCorrelationPeak, ImpulsesMeetWhereTheirPositionsSay) {
  struct Row {
    int n, p, q;
    int index;
    int lags;
  };
  const Row rows[] = {
      {192, 100, 100, 33, 100}, {192, 191, 0, 24, 100}, {192, 67, 100, 0, 100},
      {192, 191, 75, 99, 100},  {20, 3, 10, 2, 39},     {20, 19, 19, 27, 39},
  };
  for (const Row& row : rows) {
    std::vector<std::int64_t> r(row.n, 0), s(row.n, 0);
    r[row.p] = 1;
    s[row.q] = 1;
    const CorrelationPeak peak = FindCorrelationPeak(r, s);
    EXPECT_EQ(peak.lags, row.lags);
    EXPECT_EQ(peak.index, row.index) << row.p << ", " << row.q;
    EXPECT_TRUE(peak.value == 1);
  }
  const std::vector<std::int64_t> zeros(192, 0);
  EXPECT_EQ(FindCorrelationPeak(zeros, zeros).index, 99) << "all ties: the last index";
}

}  // namespace
}  // namespace afe::testing
