// Progress tones as a subscriber hears them: dial tone 200 ms after off hook
// until the first digit, and the tones the dial plan's routes lead to, with
// frequencies, levels and cadences measured by Goertzel filters against the
// numbers of the US precise tone plan and of the European 425 Hz plan.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <optional>

#include "platform/line/exchange/tests/exchange_rig.h"

namespace plat::line::exchange::testing {
namespace {

// One piece of a cadence: `ms` of the frequencies (none: silence).
struct Burst {
  int ms;
  double hz1 = 0.0;
  double hz2 = 0.0;
  std::optional<double> dbm0 = std::nullopt;  // none: the cadence's level
};

// Silence through G.711: mu-law gives 0, A-law its smallest step, 8.
constexpr int kSilence = 8;
bool Quiet(std::int16_t s) { return std::abs(int{s}) <= kSilence; }

// The first instant of sound at or after `from`: a tone's first sample is
// sin(0) = 0, so sound shows one sample after the tone begins.
std::int64_t ToneStart(const std::vector<std::int16_t>& heard, std::int64_t from) {
  for (std::int64_t n = from; n < static_cast<std::int64_t>(heard.size()); ++n) {
    if (!Quiet(heard[static_cast<std::size_t>(n)])) return n - 1;
  }
  return -1;
}

// `heard` plays `bursts` in order from `start`: silence where they are silent,
// sound in every millisecond where they sound, at the frequencies given, each
// at `dbm0`, and nothing else.
void ExpectCadence(const std::vector<std::int16_t>& heard, std::int64_t start,
                   const std::vector<Burst>& bursts, double dbm0) {
  std::int64_t at = start;
  for (std::size_t k = 0; k < bursts.size(); ++k) {
    SCOPED_TRACE("burst " + std::to_string(k));
    const Burst& b = bursts[k];
    const std::int64_t end = at + Ms(b.ms);
    ASSERT_LE(end, static_cast<std::int64_t>(heard.size()));
    if (b.hz1 == 0.0) {
      for (std::int64_t n = at + 1; n < end; ++n) {
        ASSERT_TRUE(Quiet(heard[static_cast<std::size_t>(n)])) << "sound at " << n - start;
      }
    } else {
      for (std::int64_t ms = at + 8; ms + 8 <= end; ms += 8) {
        const auto first = heard.begin() + ms;
        ASSERT_TRUE(std::any_of(first, first + 8, [](std::int16_t s) { return !Quiet(s); }))
            << "silence at " << ms - start;
      }
      const std::int64_t from = at + Ms(2), to = end - Ms(2);
      double energy = 0.0;
      for (std::int64_t n = from; n < to; ++n) {
        const double x = heard[static_cast<std::size_t>(n)];
        energy += x * x;
      }
      energy /= static_cast<double>(to - from);
      double tones = 0.0;
      for (double hz : {b.hz1, b.hz2}) {
        if (hz == 0.0) continue;
        const double a = Amplitude(heard, from, to, hz);
        EXPECT_NEAR(DbmOf(a), b.dbm0.value_or(dbm0), 0.3) << hz << " Hz";
        tones += a * a / 2.0;
      }
      EXPECT_GT(tones / energy, 0.98) << "the burst holds other frequencies";
    }
    at = end;
  }
}

// Dial tone 350 + 440 Hz at -13 dBm0 begins 200 ms after off hook (the line
// delays by one sample) and stops with the first digit.
TEST(ExchangeTones, DialToneComesAfter200MsAndTheFirstDigitStopsIt) {
  Rig rig(2);
  rig.Build();
  rig.phone(0).OffHook().Wait(1500).Dtmf("5");
  rig.RunTo(2000);
  const auto& heard = rig.phone(0).heard.samples();
  const std::int64_t start = ToneStart(heard, 0);
  EXPECT_EQ(start, Ms(200) + 1);
  ExpectCadence(heard, start, {{1000, 350.0, 440.0}}, -13.0);
  const auto stretches = SoundStretches(heard, 0, Ms(2000));
  ASSERT_EQ(stretches.size(), 1u);
  // The digit's tone starts at 1500 ms; two receiver blocks and a step later the tone is off.
  EXPECT_GT(stretches[0].to, Ms(1500));
  EXPECT_LT(stretches[0].to, Ms(1500) + 2 * 102 + 2 * Ms(1));
}

// Off hook without a digit: dial tone for the first-digit time, then reorder.
TEST(ExchangeTones, NoDigitInTimeGivesReorder) {
  Rig rig(1);
  ExchangeConfig config;
  config.plan.first_digit_ms = 3000;
  Exchange& exchange = rig.Build(config);
  rig.phone(0).OffHook();
  rig.RunTo(4500);
  const auto& heard = rig.phone(0).heard.samples();
  ExpectCadence(heard, Ms(200) + 1,
                {{2800, 350.0, 440.0}, {250, 480.0, 620.0, -24.0}, {250}, {250, 480.0, 620.0, -24.0}},
                -13.0);
  const auto numbers = exchange.log().Of(0, EventKind::kNumber);
  ASSERT_EQ(numbers.size(), 1u);
  EXPECT_EQ(numbers[0].detail, "none dialled");
}

struct RouteTone {
  const char* number;
  std::vector<Burst> cadence;
  double dbm0;
};

void ExpectRouteTones(const CountryPlan& plan, const std::vector<RouteTone>& cases) {
  for (const RouteTone& c : cases) {
    SCOPED_TRACE(std::string(plan.name) + ", dialling " + c.number);
    Rig rig(1);
    ExchangeConfig config;
    config.plan = plan;
    config.routes = {{"211", 3, RouteKind::kBusy},
                     {"311", 3, RouteKind::kNoAnswer},
                     {"411", 3, RouteKind::kUnassigned},
                     {"611", 3, RouteKind::kIntercept}};
    Exchange& exchange = rig.Build(config);
    rig.phone(0).OffHook().Wait(500).Dtmf(c.number);
    std::int64_t length = 0;
    for (const Burst& b : c.cadence) length += b.ms;
    rig.RunTo(1000 + length + 200);
    const auto& heard = rig.phone(0).heard.samples();
    // The route's tone comes with the last digit, which the receiver hears
    // within three of its blocks; the line delays it by a sample.
    const auto tones = exchange.log().Of(0, EventKind::kTone);
    ASSERT_GE(tones.size(), 3u) << exchange.log().Text();
    EXPECT_EQ(tones[0].detail, "dial");
    EXPECT_EQ(tones[1].detail, "off");
    const std::int64_t start = static_cast<std::int64_t>(tones[2].at / kSampleNs) + 1;
    const std::int64_t last_digit = Ms(500 + 100 * (std::strlen(c.number) - 1));
    EXPECT_GE(start, last_digit);
    EXPECT_LE(start, last_digit + 3 * 102);
    ExpectCadence(heard, start, c.cadence, c.dbm0);
  }
}

TEST(ExchangeTones, UsRingbackBusyReorderAndSit) {
  const Burst ring{2000, 440.0, 480.0}, pause{4000};
  const Burst busy{500, 480.0, 620.0}, busy_gap{500};
  const Burst reorder{250, 480.0, 620.0}, reorder_gap{250};
  ExpectRouteTones(UsPlan(),
                   {{"311", {ring, pause, ring, pause}, -19.0},
                    {"211", {busy, busy_gap, busy, busy_gap, busy, busy_gap}, -24.0},
                    {"411", {reorder, reorder_gap, reorder, reorder_gap, reorder}, -24.0},
                    {"9", {reorder, reorder_gap, reorder, reorder_gap}, -24.0},
                    // Vacant code: 913.8, 1370.6 and 1776.7 Hz, then reorder.
                    {"611",
                     {{274, 913.8}, {274, 1370.6}, {380, 1776.7}, {1000}, reorder, reorder_gap},
                     -24.0}});
}

TEST(ExchangeTones, EuropeanPlanUses425Hz) {
  const Burst ring{1000, 425.0}, pause{4000};
  const Burst busy{500, 425.0}, busy_gap{500};
  const Burst congestion{250, 425.0}, congestion_gap{250};
  ExpectRouteTones(EuropeanPlan(),
                   {{"311", {ring, pause, ring, pause}, -10.0},
                    {"211", {busy, busy_gap, busy, busy_gap}, -10.0},
                    {"411", {congestion, congestion_gap, congestion, congestion_gap}, -10.0},
                    // Special information tone: 950, 1400, 1800 Hz.
                    {"611",
                     {{330, 950.0},
                      {30},
                      {330, 1400.0},
                      {30},
                      {330, 1800.0},
                      {1000},
                      {250, 425.0, 0.0, -10.0}},
                     -24.0}});
  // Its dial tone: 425 Hz, continuous.
  Rig rig(1);
  ExchangeConfig config;
  config.plan = EuropeanPlan();
  rig.Build(config);
  rig.phone(0).OffHook();
  rig.RunTo(1500);
  const auto& heard = rig.phone(0).heard.samples();
  EXPECT_EQ(ToneStart(heard, 0), Ms(200) + 1);
  ExpectCadence(heard, Ms(200) + 1, {{1200, 425.0}}, -10.0);
}

}  // namespace
}  // namespace plat::line::exchange::testing
