// The line's sample-clock offset: with the far end's clock a few hundred
// ppm off the near end's, what the near end hears is the far signal on the
// far clock's time scale (a tone's phase drifts by f x offset, clicks come
// closer together or further apart), and a far clock that runs past the
// interpolator's lead ends the run.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "platform/line/line.h"
#include "platform/line/line_direction.h"

namespace pump {
namespace {

namespace pl = plat::line;
constexpr double kClockPi = 3.14159265358979323846;

// The phase of `x` at `hz` over [from, from + length) against a cosine at
// instant 0.
double ClockPhaseAt(const std::vector<std::int16_t>& x, double hz, std::size_t from, std::size_t length) {
  std::complex<double> sum = 0;
  for (std::size_t n = from; n < from + length; ++n) {
    sum += static_cast<double>(x[n]) * std::polar(1.0, -2 * kClockPi * hz * static_cast<double>(n) / 8000);
  }
  return std::arg(sum);
}

std::vector<std::int16_t> ClockHeard(double ratio, const std::vector<std::int16_t>& far) {
  pl::LineDirection line({.delay_samples = 1, .clock_ratio = ratio});
  line.SendFar(far);
  std::vector<std::int16_t> heard(far.size());
  line.Receive(heard);
  return heard;
}

TEST(LineClockOffset, AToneDriftsInPhaseByItsFrequencyTimesTheOffset) {
  constexpr double kTone = 2000;
  const double ppms[] = {200, -200, 100, -37};
  std::vector<std::int16_t> tone(24000);
  for (std::size_t n = 0; n < tone.size(); ++n) {
    tone[n] = static_cast<std::int16_t>(std::lround(12000 * std::cos(2 * kClockPi * kTone * static_cast<double>(n) / 8000)));
  }
  for (const double ppm : ppms) {
    SCOPED_TRACE(::testing::Message() << ppm << " ppm");
    const std::vector<std::int16_t> heard = ClockHeard(1 + ppm * 1e-6, tone);
    // Two windows 2 s apart: the far clock covers 2 s x ratio of the tone.
    const double first = ClockPhaseAt(heard, kTone, 2000, 4000);
    const double second = ClockPhaseAt(heard, kTone, 18000, 4000);
    const double want = 2 * kClockPi * kTone * ppm * 1e-6 * 2.0;
    const double got = std::remainder(second - first - want, 2 * kClockPi) + want;
    EXPECT_NEAR(got, want, 0.01);
  }
}

TEST(LineClockOffset, ClicksArriveAtTheFarClocksSpacing) {
  struct Case {
    double ppm;
    std::int64_t spacing;  // of clicks 40000 far samples apart, in near samples
  };
  const Case cases[] = {{200, 39992}, {-200, 40008}, {100, 39996}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.ppm << " ppm");
    std::vector<std::int16_t> far(44000, 0);
    far[1000] = far[41000] = 20000;
    const std::vector<std::int16_t> heard = ClockHeard(1 + c.ppm * 1e-6, far);
    std::vector<std::int64_t> peaks;
    for (std::size_t n = 0; n < heard.size(); ++n) {
      if (heard[n] > 10000) peaks.push_back(static_cast<std::int64_t>(n));
    }
    ASSERT_EQ(peaks.size(), 2u);
    EXPECT_EQ(peaks[1] - peaks[0], c.spacing);
  }
}

// An end of a line that sends clicks 40000 of its samples apart and keeps
// what it hears.
class ClickEnd : public pl::LineEnd {
 public:
  ClickEnd(pl::Line& line, pl::Side side) : line_(line), side_(side) { line.Attach(side, *this); }
  void ProduceUntil(std::int64_t count) override {
    for (; sent_ < count; ++sent_) {
      const std::int16_t s[1] = {static_cast<std::int16_t>(sent_ == 1000 || sent_ == 41000 ? 20000 : 0)};
      line_.Send(side_, s);
    }
  }
  void Hear(std::span<const std::int16_t> samples) override { heard.insert(heard.end(), samples.begin(), samples.end()); }
  std::vector<std::int16_t> heard;

 private:
  pl::Line& line_;
  pl::Side side_;
  std::int64_t sent_ = 0;
};

// LineConfig::clock_ppm gives each end's clock: an end hears the other's
// clicks at the spacing the two clocks' ratio makes, far over near.
TEST(LineClockOffset, EachEndHearsTheOtherOnItsOwnClock) {
  struct Case {
    double ppm_a;
    double ppm_b;
  };
  const Case cases[] = {{100, -100}, {0, 150}, {-50, -50}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.ppm_a << " and " << c.ppm_b << " ppm");
    pl::LineConfig config;
    config.clock_ppm = {c.ppm_a, c.ppm_b};
    pl::Line line(config);
    ClickEnd a(line, pl::Side::kA);
    ClickEnd b(line, pl::Side::kB);
    line.RunUntil(44000);
    const std::pair<const ClickEnd*, double> hearing[] = {{&a, (1 + c.ppm_b * 1e-6) / (1 + c.ppm_a * 1e-6)},
                                                          {&b, (1 + c.ppm_a * 1e-6) / (1 + c.ppm_b * 1e-6)}};
    for (const auto& [end, ratio] : hearing) {
      std::vector<std::int64_t> peaks;
      for (std::size_t n = 0; n < end->heard.size(); ++n) {
        if (end->heard[n] > 10000) peaks.push_back(static_cast<std::int64_t>(n));
      }
      ASSERT_EQ(peaks.size(), 2u);
      EXPECT_EQ(peaks[1] - peaks[0], std::llround(40000 / ratio));
    }
  }
}

TEST(LineClockOffset, AFarClockPastItsLeadIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // 1 % fast: the lead of 112 samples beyond the bulk delay is gone after
  // about 11300 samples, whatever the delay (with 40 samples of delay a
  // check against one sample of delay would hold on to about 15300).
  for (const std::int64_t delay : {std::int64_t{1}, std::int64_t{40}}) {
    SCOPED_TRACE(delay);
    EXPECT_DEATH(
        {
          pl::LineDirection line({.delay_samples = delay, .clock_ratio = 1.0099});
          std::vector<std::int16_t> far(20000, 0);
          line.SendFar(far);
          std::vector<std::int16_t> heard(13000);
          line.Receive(heard);
        },
        "line-clock");
  }
}

}  // namespace
}  // namespace pump
