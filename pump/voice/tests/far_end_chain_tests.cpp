// The far-end chain: its Q15 ratios, the suppression gain's shut, open and
// hold rules, silence after a reset until far-end speech opens it, a
// residual echo that never opens it, the bypass and the DC removal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

#include "pump/voice/far_end_chain.h"

namespace pump {
namespace {

std::vector<std::int16_t> Tone(double amplitude, double hz, std::size_t count, double dc = 0) {
  std::vector<std::int16_t> s(count);
  for (std::size_t i = 0; i < count; ++i) {
    s[i] = static_cast<std::int16_t>(
        std::lround(dc + amplitude * std::sin(2 * std::numbers::pi * hz * double(i) / 8000)));
  }
  return s;
}

int Peak(const std::vector<std::int16_t>& s, std::size_t from) {
  int peak = 0;
  for (std::size_t i = from; i < s.size(); ++i) peak = std::max(peak, std::abs(int{s[i]}));
  return peak;
}

TEST(FarEndChain, RatiosInQ15) {
  struct Case {
    std::int32_t num;
    std::int32_t den;
    std::int32_t ratio;
  };
  const Case cases[] = {
      {1, 2, 16384},           {1, 3, 10923},           {0, 5, 0},
      {5, 5, 0x7FFF},          {6, 5, 0x7FFF},          {7, 0, 0x7FFF},
      {0x10000, 0x30000, 10923}, {0x3FFFFFFF, 0x7FFFFFFF, 16384},
      {20480, 32768, 20480},   {0x10000, 0x1A000, 20165},
  };
  for (const Case& c : cases) {
    // Cutting both to 16 bits may lose the last unit.
    EXPECT_NEAR(RatioQ15(c.num, c.den), c.ratio, 1) << c.num << "/" << c.den;
  }
}

// One step of the gain from fully open: a ratio above 20480 shuts it at
// once; far-end speech (A/B, the cancelled over the uncancelled envelope,
// from 0.5625) keeps it open; an echo-like ratio lets it decay by
// 0x7FF0/0x8000 per sample; the bypass passes any sample.
TEST(FarEndChain, NlpGainRules) {
  struct Case {
    std::string name;
    std::int32_t a, b, min_a, min_b;
    std::uint32_t bypass;
    std::int16_t sample;
    std::int16_t out;
  };
  const Case cases[] = {
      {"A above 20480 shuts", 20481, 100, 100, 100, 0, 10000, 0},
      {"B above 20480 shuts", 100, 20481, 100, 100, 0, -10000, 0},
      {"both at 20480 stay open", 20480, 20480, 20480, 20480, 0, 10000, 10000},
      {"far-end speech stays open (gain 32767/32768)", 9000, 10000, 9000, 10000, 0, -20000, -19999},
      {"an echo-like ratio decays", 4000, 10000, 4000, 10000, 0, 10000, 9995},
      {"a tiny minimum ratio decays", 9000, 10000, 2, 10000, 0, 10000, 9995},
      {"bypass passes a shut sample", 30000, 30000, 100, 100, 1, 12345, 12345},
      {"bypass passes full scale", 100, 100, 100, 100, 1, -32768, -32768},
  };
  for (const Case& c : cases) {
    FarEndChain chain;
    ResetFarEndChain(chain);
    chain.gain = 0x7FFFFFFF;
    chain.ratio_a = c.a;
    chain.ratio_b = c.b;
    chain.min_a = c.min_a;
    chain.min_b = c.min_b;
    chain.bypass = c.bypass;
    EXPECT_EQ(NlpGain(chain, c.sample), c.out) << c.name;
  }
}

// After a reset the gain is 0: the first samples are silent however loud
// the far end is; far-end speech (nothing cancelled) then opens the gain
// within a few dozen samples and the speaker gets the leveled tone.
TEST(FarEndChain, SilentAfterResetUntilFarEndSpeechOpensIt) {
  FarEndChain chain;
  ResetFarEndChain(chain);
  const auto far = Tone(8000, 1000, 800);
  auto line = far;
  RunFarEndChain(chain, far, line);
  EXPECT_EQ(line[0], 0);
  const auto first = std::find_if(line.begin(), line.end(), [](std::int16_t v) { return v != 0; });
  ASSERT_NE(first, line.end());
  EXPECT_LT(first - line.begin(), 100);
  EXPECT_GT(Peak(line, 400), 30000) << "the speaker's gain stage at index 5 lifts 8000 to full scale";
}

// An echo that the canceller brought down by 12 dB is not far-end speech:
// the speaker stays silent from the reset on.
TEST(FarEndChain, ResidualEchoNeverOpensTheGain) {
  for (double amplitude : {2000.0, 8000.0, 30000.0}) {
    FarEndChain chain;
    ResetFarEndChain(chain);
    const auto echo = Tone(amplitude, 700, 4000);
    std::vector<std::int16_t> line(echo.size());
    std::transform(echo.begin(), echo.end(), line.begin(),
                   [](std::int16_t v) { return static_cast<std::int16_t>(v / 4); });
    RunFarEndChain(chain, echo, line);
    EXPECT_EQ(Peak(line, 0), 0) << amplitude;
  }
}

// A far end that stops: the envelopes fall to their floors and the gain
// shuts, so the speaker is silent while the line is.
TEST(FarEndChain, QuietLineShutsTheGain) {
  FarEndChain chain;
  ResetFarEndChain(chain);
  auto far = Tone(8000, 1000, 800);
  far.resize(8800, 3);
  auto line = far;
  RunFarEndChain(chain, far, line);
  EXPECT_GT(Peak(line, 400), 30000);
  EXPECT_EQ(Peak(std::vector<std::int16_t>(line.begin() + 2000, line.end()), 0), 0);
}

TEST(FarEndChain, BypassPassesFromTheFirstSampleAndDcIsRemoved) {
  FarEndChain chain;
  ResetFarEndChain(chain);
  chain.bypass = 1;
  const auto far = Tone(4000, 500, 4000, 9000);
  auto line = far;
  RunFarEndChain(chain, far, line);
  EXPECT_NE(line[kPeakAgcDelay], 0) << "no gain to open: the speaker stage's delay only";
  double sum = 0;
  for (std::size_t i = 2000; i < line.size(); ++i) sum += line[i];
  const double mean = sum / double(line.size() - 2000);
  EXPECT_LT(std::abs(mean), 0.01 * Peak(line, 2000)) << "the 9000 of DC is gone";
}

}  // namespace
}  // namespace pump
