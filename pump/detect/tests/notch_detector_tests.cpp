#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "pump/detect/notch_detector.h"
#include "pump/detect/tests/signals.h"

namespace pump {
namespace {

using detect_test::Noise;
using detect_test::Tone;
using detect_test::Wide;

constexpr int kLimit = 960;
// The averages settle within a few of their 64-sample time constants; the
// count starts once they have.
constexpr int kSettle = 256;
constexpr double kPeak = 4000;  // about the AGC's output level

// The index of the sample at which the detector first fires, stepping one
// sample at a time, and what RunNotchDetector over the whole signal says.
template <class Detector, class Step, class Run>
std::optional<int> FirstFiring(Detector detector, Step step, Run run,
                               const std::vector<std::int32_t>& signal, int limit,
                               std::int32_t* run_result) {
  Detector copy = detector;
  *run_result = run(copy, signal, limit);
  for (std::size_t i = 0; i < signal.size(); ++i) {
    if (step(detector, signal[i], limit) != 0) return static_cast<int>(i);
  }
  return std::nullopt;
}

NotchDetector Single(const NotchSet& set) {
  NotchDetector d;
  InitNotchDetector(d, set, 5, 2);
  return d;
}

std::optional<int> FiringOf(const NotchDetector& detector, const std::vector<std::int32_t>& signal,
                            int limit, std::int32_t* run_result) {
  return FirstFiring(
      detector, StepNotchDetector,
      [](NotchDetector& d, const std::vector<std::int32_t>& s, int l) {
        return RunNotchDetector(d, s, l);
      },
      signal, limit, run_result);
}

TEST(NotchDetector, EachSetFiresOnItsToneWithinItsLimitAndNotTwoHundredHertzAway) {
  for (const NotchSet* set : notch::kAll) {
    SCOPED_TRACE(::testing::Message() << set->hz << " Hz at " << set->rate_hz << " Hz");
    const auto on_tone = Wide(Tone({double(set->hz)}, kPeak, 4 * kLimit, set->rate_hz));
    std::int32_t ratio = 0;
    const std::optional<int> fired = FiringOf(Single(*set), on_tone, kLimit, &ratio);
    ASSERT_TRUE(fired.has_value());
    EXPECT_GT(*fired, kLimit) << "the count passes the limit one sample at a time";
    EXPECT_LE(*fired, kLimit + kSettle);
    EXPECT_GE(ratio, 5) << "the run form fires too, with the ratio";

    for (const int away : {-200, 200}) {
      const auto off_tone = Wide(Tone({double(set->hz + away)}, kPeak, 10 * kLimit, set->rate_hz));
      EXPECT_FALSE(FiringOf(Single(*set), off_tone, kLimit, &ratio).has_value()) << away;
      EXPECT_EQ(ratio, 0);
    }
  }
}

struct PairCase {
  const char* name;
  const NotchSet& first;
  const NotchSet& second;
  int limit;
};

TEST(NotchDetector, TwoSectionsFireOnTheirToneTogetherAndNotTwoHundredHertzAway) {
  const PairCase cases[] = {
      {"AC 3000 + 600", notch::k3000, notch::k600, 1488},
      {"USB1 2250 + 2850", notch::k2250, notch::k2850, 1488},
      {"USB1 at 7200 Hz", notch::k2250At7200, notch::k2850At7200, 960},
  };
  for (const PairCase& c : cases) {
    SCOPED_TRACE(c.name);
    const double rate = c.first.rate_hz;
    NotchDetector2 detector;
    InitNotchDetector2(detector, c.first, c.second, 5, 2);
    const auto run = [](NotchDetector2& d, const std::vector<std::int32_t>& s, int l) {
      return RunNotchDetector2(d, s, l);
    };
    std::int32_t ratio = 0;
    const auto both =
        Wide(Tone({double(c.first.hz), double(c.second.hz)}, kPeak, 4 * c.limit, rate));
    const std::optional<int> fired =
        FirstFiring(detector, StepNotchDetector2, run, both, c.limit, &ratio);
    ASSERT_TRUE(fired.has_value());
    EXPECT_GT(*fired, c.limit);
    EXPECT_LE(*fired, c.limit + kSettle);
    EXPECT_GE(ratio, 5);

    for (const int away : {-200, 200}) {
      const auto moved = Wide(
          Tone({double(c.first.hz + away), double(c.second.hz + away)}, kPeak, 10 * c.limit, rate));
      EXPECT_FALSE(FirstFiring(detector, StepNotchDetector2, run, moved, c.limit, &ratio)) << away;
      EXPECT_EQ(ratio, 0);
    }
  }
}

TEST(NotchDetector, AnOverloadSampleEndsTheBlockWithNothing) {
  const auto tone = Wide(Tone({2100}, kPeak, 4 * kLimit));
  std::int32_t ratio = 0;
  const int fires_at = *FiringOf(Single(notch::k2100), tone, kLimit, &ratio);
  for (const std::int32_t overload : {0x10000, -0x10000, INT32_MAX, INT32_MIN}) {
    SCOPED_TRACE(overload);
    // Up to ten samples before the firing, then a block that would fire
    // five samples after an overload sample.
    NotchDetector d = Single(notch::k2100);
    EXPECT_EQ(RunNotchDetector(d, std::span(tone).first(fires_at - 10), kLimit), 0);
    std::vector<std::int32_t> block(tone.begin() + fires_at - 10, tone.begin() + fires_at + 10);
    NotchDetector control = d;
    EXPECT_NE(RunNotchDetector(control, block, kLimit), 0);
    block[5] = overload;
    EXPECT_EQ(RunNotchDetector(d, block, kLimit), 0);
    EXPECT_EQ(StepNotchDetector(d, overload, 0), 0) << "the step form refuses it too";

    NotchDetector2 pair;
    InitNotchDetector2(pair, notch::k3000, notch::k600, 5, 2);
    const auto both = Wide(Tone({3000, 600}, kPeak, 2 * kLimit));
    EXPECT_EQ(RunNotchDetector2(pair, std::span(both).first(kLimit), kLimit), 0);
    NotchDetector2 pair_control = pair;
    std::vector<std::int32_t> rest(both.begin() + kLimit, both.end());
    EXPECT_NE(RunNotchDetector2(pair_control, rest, kLimit), 0);
    rest[5] = overload;
    EXPECT_EQ(RunNotchDetector2(pair, rest, kLimit), 0);
  }
}

TEST(NotchDetector, SeededNoiseNeverFires) {
  constexpr int kShortestLimit = 24;  // the fax answer watch's
  const auto noise = Wide(Noise(0x5eed, 3000, 96000));
  for (const NotchSet* set : notch::kAll) {
    SCOPED_TRACE(::testing::Message() << set->hz << " Hz at " << set->rate_hz << " Hz");
    NotchDetector d = Single(*set);
    EXPECT_EQ(RunNotchDetector(d, noise, kShortestLimit), 0);
  }
  NotchDetector2 pair;
  InitNotchDetector2(pair, notch::k3000, notch::k600, 5, 2);
  EXPECT_EQ(RunNotchDetector2(pair, noise, kShortestLimit), 0);
}

TEST(NotchDetector, ThePairOfTheV32WatchNotchesItsTwoTonesAt7200Hz) {
  NotchDetector n2400, n800;
  InitNotchPair(n2400, n800);
  std::int32_t ratio = 0;
  EXPECT_TRUE(FiringOf(n2400, Wide(Tone({1800}, kPeak, 2000, 7200)), kLimit, &ratio));
  EXPECT_TRUE(FiringOf(n800, Wide(Tone({600}, kPeak, 2000, 7200)), kLimit, &ratio));
}

}  // namespace
}  // namespace pump
