// The peak gain stage against its rules: the output peak lands on the
// target over a 40 dB range (30 dB for the speaker's
// lowest floor), the output is 10 samples late, the gain moves
// only at zero crossings, and the output limits hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "pump/voice/peak_agc.h"

namespace pump {
namespace {

std::vector<std::int16_t> Agc(PeakAgc& agc, std::vector<std::int16_t> samples, int index) {
  RunPeakAgc(agc, samples, index);
  return samples;
}

std::vector<std::int16_t> Sine(double amplitude, double hz, std::size_t count) {
  std::vector<std::int16_t> s(count);
  for (std::size_t i = 0; i < count; ++i) {
    s[i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * double(i) / 8000)));
  }
  return s;
}

double Db(double a, double b) { return 20 * std::log10(a / b); }

// A sine above the index's floor comes out with its peak within 0.5 dB of
// the target (the microphone's output stops one below it).
TEST(PeakAgc, OutputPeakSettlesOnTheTargetOver40Db) {
  struct Case {
    const PeakFloors* floors;
    PeakAgcLimits limits;
    int index;
    double amplitude;
    double hz;
  };
  const Case cases[] = {
      {&kMicFloorsOther, kMicAgcLimits, 0, 250, 500},
      {&kMicFloorsOther, kMicAgcLimits, 0, 2500, 300},
      {&kMicFloorsOther, kMicAgcLimits, 0, 25000, 1000},
      {&kSpeakerFloors, kSpeakerAgcLimits, 0, 1000, 700},
      {&kSpeakerFloors, kSpeakerAgcLimits, 0, 32000, 700},
  };
  for (const Case& c : cases) {
    PeakAgc agc;
    ResetPeakAgc(agc, *c.floors, c.limits);
    const auto out = Agc(agc, Sine(c.amplitude, c.hz, 4000), c.index);
    int peak = 0;
    for (std::size_t i = 2000; i < out.size(); ++i) peak = std::max(peak, std::abs(int{out[i]}));
    EXPECT_LT(std::abs(Db(peak, c.limits.target)), 0.5) << c.amplitude << " gives " << peak;
  }
}

// Below the floor the gain stops at target / floor: a quiet input stays quiet.
TEST(PeakAgc, TheFloorBoundsTheGain) {
  PeakAgc agc;
  ResetPeakAgc(agc, kMicFloorsSpeakerphone, kMicAgcLimits);
  const auto out = Agc(agc, Sine(100, 500, 2000), 8);  // floor 23197
  int peak = 0;
  for (std::size_t i = 1000; i < out.size(); ++i) peak = std::max(peak, std::abs(int{out[i]}));
  EXPECT_NEAR(peak, 100.0 * 24964 / 23197, 1.5);
}

TEST(PeakAgc, OutputIsTenSamplesLate) {
  for (std::size_t at : {0u, 3u, 25u}) {
    PeakAgc agc;
    ResetPeakAgc(agc, kMicFloorsSpeakerphone, kMicAgcLimits);
    std::vector<std::int16_t> in(60, 0);
    in[at] = 3000;
    const auto out = Agc(agc, in, 5);
    for (std::size_t i = 0; i < out.size(); ++i) {
      EXPECT_EQ(out[i] != 0, i == at + kPeakAgcDelay) << "impulse at " << at << ", sample " << i;
    }
  }
}

// A positive signal that grows tenfold never crosses zero: the gain stays
// at target / (entry 5's floor) from the reset, although the peak rose.
// The first negative sample to leave lets the new peak in.
TEST(PeakAgc, GainChangesOnlyAtAZeroCrossing) {
  PeakAgc agc;
  ResetPeakAgc(agc, kMicFloorsOther, kMicAgcLimits);  // entry 5: 1036
  std::vector<std::int16_t> in(40, 100);
  std::fill(in.begin() + 20, in.end(), std::int16_t{900});
  in.push_back(-900);
  in.insert(in.end(), 20, std::int16_t{-900});
  const auto out = Agc(agc, in, 0);
  for (std::size_t i = 10; i < 49; ++i) {
    EXPECT_EQ(out[i], in[i - 10] * 24964 / 1036) << i;
  }
  // The crossing: the last positive sample leaves with the next one
  // negative, and both go out at the gain of the new peak, 900.
  EXPECT_EQ(out[49], 24963);
  EXPECT_EQ(out[50], -24964);
}

// Small samples set a low gain at a crossing; big samples that follow
// without another crossing go over the range and are limited.
TEST(PeakAgc, OutputLimitsHold) {
  struct Case {
    const PeakFloors* floors;
    PeakAgcLimits limits;
    int index;
    std::int16_t sign;
    std::int16_t expected;
  };
  const Case cases[] = {
      {&kMicFloorsSpeakerphone, kMicAgcLimits, 8, 1, 24963},
      {&kMicFloorsSpeakerphone, kMicAgcLimits, 8, -1, -24964},
      {&kSpeakerFloors, kSpeakerAgcLimits, 0, 1, 32767},
      {&kSpeakerFloors, kSpeakerAgcLimits, 0, -1, -32767},
  };
  for (const Case& c : cases) {
    PeakAgc agc;
    ResetPeakAgc(agc, *c.floors, c.limits);
    std::vector<std::int16_t> in(40, static_cast<std::int16_t>(c.sign * 100));
    in[0] = static_cast<std::int16_t>(-c.sign * 100);
    std::fill(in.begin() + 11, in.end(), static_cast<std::int16_t>(c.sign * 30000));
    const auto out = Agc(agc, in, c.index);
    for (std::size_t i = 21; i < out.size(); ++i) EXPECT_EQ(out[i], c.expected) << i;
  }
}

TEST(PeakAgc, IndexFifteenMutesAndTheSpeakerStopsAtNine) {
  const auto in = Sine(5000, 400, 400);
  PeakAgc muted;
  ResetPeakAgc(muted, kMicFloorsSpeakerphone, kMicAgcLimits);
  const auto out = Agc(muted, in, kPeakAgcMute);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::int16_t v) { return v == 0; }));
  PeakAgc nine;
  PeakAgc twelve;
  ResetPeakAgc(nine, kSpeakerFloors, kSpeakerAgcLimits);
  ResetPeakAgc(twelve, kSpeakerFloors, kSpeakerAgcLimits);
  EXPECT_EQ(Agc(nine, in, 9), Agc(twelve, in, 12));
}

}  // namespace
}  // namespace pump
