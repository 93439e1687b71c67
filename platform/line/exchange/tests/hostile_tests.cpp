// Configurations that cannot work are refused when the exchange is built,
// each with its fault named and nothing attached; hostile line input is
// logged, ignored or answered with reorder, and never sticks a line.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "platform/line/exchange/tests/exchange_rig.h"

namespace plat::line::exchange::testing {
namespace {

struct BadConfig {
  const char* what;
  std::function<void(ExchangeConfig&)> spoil;
  std::string error;
};

TEST(ExchangeHostile, ConfigurationsThatCannotWorkAreRefused) {
  Line line_a, line_b;
  ScriptedPeer peer;
  const BadConfig cases[] = {
      {"a number twice", [](ExchangeConfig& c) { c.subscribers[1].number = "5551001"; },
       "number 5551001 twice (subscriber 5551001, subscriber 5551001)"},
      {"a route prefixing a subscriber", [](ExchangeConfig& c) { c.routes.push_back({"555", 3, RouteKind::kBusy}); },
       "number 555 (route 2) is a prefix of 5551001 (subscriber 5551001)"},
      {"a route of no length", [](ExchangeConfig& c) { c.routes.push_back({"9", 0, RouteKind::kBusy}); },
       "route 2 (9): a length of 0"},
      {"a route shorter than its prefix", [](ExchangeConfig& c) { c.routes[0].length = 2; },
       "route 1 (211): a length of 2, shorter than its prefix"},
      {"an empty number", [](ExchangeConfig& c) { c.subscribers[0].number.clear(); },
       "subscriber 1: an empty number"},
      {"a letter in a number", [](ExchangeConfig& c) { c.subscribers[1].number = "555100X"; },
       "subscriber 555100X: 555100X holds a character no telephone dials"},
      {"a tone with no on time", [](ExchangeConfig& c) { c.plan.busy.segments = {{500, {}}, {500, {}}}; },
       "tone \"busy\": a cadence with no on time"},
      {"a tone segment of 0 ms", [](ExchangeConfig& c) { c.plan.reorder.segments[1].ms = 0; },
       "tone \"reorder\": a segment of 0 ms"},
      {"a tone above the band", [](ExchangeConfig& c) { c.plan.dial.segments[0].hz[1] = 4400.0; },
       "tone \"dial\": 4400 Hz lies outside the line's band"},
      {"no ringing cadence", [](ExchangeConfig& c) { c.plan.ring_ms.clear(); }, "ringing: no cadence"},
      {"a ringing segment of 0 ms", [](ExchangeConfig& c) { c.plan.ring_ms = {2000, 0}; },
       "ringing: a segment of 0 ms"},
      {"flashes overlapping pulses", [](ExchangeConfig& c) { c.plan.hook.flash_min_ms = 100; },
       "hook: the flash range 100-1000 ms overlaps the pulse breaks 20-120 ms"},
      {"pulses from 0 ms", [](ExchangeConfig& c) { c.plan.hook.pulse_break_min_ms = 0; },
       "hook: pulse breaks from 0 ms"},
      {"no time for a first digit", [](ExchangeConfig& c) { c.plan.first_digit_ms = 0; },
       "a first-digit time of 0 ms"},
      {"no G.711 law", [](ExchangeConfig& c) { c.plan.law = Companding::kNone; },
       "plan US: the switch needs a G.711 law"},
      {"a core delay under a step", [](ExchangeConfig& c) { c.subscribers[0].core_delay_samples = 4; },
       "subscriber 5551001: a core delay of 4 samples, below the switch's step of 8"},
      {"no line", [](ExchangeConfig& c) { c.subscribers[1].line = nullptr; }, "subscriber 5551002: no line"},
      {"one line for two", [&](ExchangeConfig& c) { c.subscribers[1].line = &line_a; },
       "subscriber 5551002: shares its line with subscriber 5551001"},
      {"one extension for two", [&](ExchangeConfig& c) { c.subscribers[0].extension = c.subscribers[1].extension = &peer; },
       "subscriber 5551002: shares its extension with subscriber 5551001"},
      {"CLASS before the first ring",
       [](ExchangeConfig& c) {
         c.subscribers[1].caller_id = CallerId::kClassMdmf;
         c.subscribers[1].caller_id_time = CallerIdTime::kBeforeFirstRing;
       },
       "subscriber 5551002: this caller ID comes only after the first ring"},
      {"caller ID on call waiting without it", [](ExchangeConfig& c) { c.subscribers[1].call_waiting_caller_id = true; },
       "subscriber 5551002: caller ID on call waiting without call waiting"},
      {"the 30th of February", [](ExchangeConfig& c) { c.clock.month = 2; c.clock.day = 30; },
       "clock: not a date and time"},
  };
  for (const BadConfig& c : cases) {
    SCOPED_TRACE(c.what);
    ExchangeConfig config;
    config.routes = {{"211", 3, RouteKind::kBusy}};
    config.subscribers = {{.number = "5551001", .line = &line_a}, {.number = "5551002", .line = &line_b}};
    c.spoil(config);
    const Exchange::Built built = Exchange::Build(config);
    EXPECT_FALSE(built.ok());
    EXPECT_EQ(built.error, c.error);
  }
  // Nothing was attached: the lines' sides B are still free.
  ScriptedPeer a, b;
  PeerEnd end_a(line_a, Side::kB, a), end_b(line_b, Side::kB, b);
}

// Flicker on an idle line seizes nothing; flicker in a call releases nothing.
TEST(ExchangeHostile, FlickerNeverSeizesNorReleases) {
  Rig rig(2);
  Exchange& exchange = rig.Build();
  Phone& a = rig.phone(0);
  for (int i = 0; i < 100; ++i) a.OffHook().Wait(15).OnHook().Wait(35);  // 5 s
  a.OffHook().Wait(500).Dtmf("5551002").Wait(3000);
  for (int i = 0; i < 100; ++i) a.OnHook().Wait(10).OffHook().Wait(40);  // 5 s in the call
  a.peer.Tones({1000.0, -10.0}, Ms(2000));
  rig.phone(1).Wait(7000).OffHook();
  rig.RunTo(17'000);
  const EventLog& log = exchange.log();
  EXPECT_EQ(log.Of(0, EventKind::kIgnoredBreak).size(), 200u);
  const auto seized = log.Of(0, EventKind::kSeized);
  ASSERT_EQ(seized.size(), 1u) << log.Text();
  EXPECT_EQ(seized[0].at, NsOfMs(5000));
  EXPECT_TRUE(log.Of(0, EventKind::kHangUp).empty());
  EXPECT_TRUE(log.Of(1, EventKind::kRelease).empty());
  EXPECT_NEAR(DbmOf(Amplitude(rig.phone(1).heard.samples(), Ms(14'300), Ms(16'000), 1000.0)), -10.0, 0.5);
}

// Pulses and DTMF in one number make one number.
TEST(ExchangeHostile, PulsesAndDtmfInOneNumber) {
  Rig rig(2);
  Exchange& exchange = rig.Build();
  rig.phone(0).OffHook().Wait(500).Pulses("555").Dtmf("1002");
  rig.RunTo(6000);
  const auto numbers = exchange.log().Of(0, EventKind::kNumber);
  ASSERT_EQ(numbers.size(), 1u) << exchange.log().Text();
  EXPECT_EQ(numbers[0].detail, "5551002");
  EXPECT_FALSE(exchange.log().Of(1, EventKind::kRing).empty());
}

// Two hundred digits: the first that leads nowhere gives reorder, the rest
// are logged and ignored, and the line works afterwards.
TEST(ExchangeHostile, TwoHundredDigits) {
  Rig rig(2);
  Exchange& exchange = rig.Build();
  rig.phone(0).OffHook().Wait(500).Dtmf(std::string(200, '9'), -10, 40, 40).OnHook().Wait(1500);
  rig.phone(0).OffHook().Wait(500).Dtmf("5551002");
  rig.RunTo(23'000);
  const EventLog& log = exchange.log();
  const auto numbers = log.Of(0, EventKind::kNumber);
  ASSERT_EQ(numbers.size(), 2u) << log.Text();
  EXPECT_EQ(numbers[0].detail, "9");
  EXPECT_EQ(log.Of(0, EventKind::kRoute)[0].detail, "unassigned");
  EXPECT_EQ(log.Of(0, EventKind::kIgnoredDigit).size(), 199u) << log.Text();
  EXPECT_EQ(numbers[1].detail, "5551002");
  EXPECT_FALSE(log.Of(1, EventKind::kRing).empty());
}

// Digits during ringback are ignored; the call goes on.
TEST(ExchangeHostile, DigitsDuringRingback) {
  Rig rig(2);
  Exchange& exchange = rig.Build();
  rig.phone(0).OffHook().Wait(500).Dtmf("5551002").Wait(500).Dtmf("123").Pulses("45");
  rig.phone(1).Wait(6000).OffHook();
  rig.RunTo(7000);
  const EventLog& log = exchange.log();
  EXPECT_EQ(log.Of(0, EventKind::kIgnoredDigit).size(), 5u) << log.Text();
  EXPECT_EQ(log.Of(1, EventKind::kAnswer).size(), 1u);
}

// Both parties hang up at one instant: both lines go idle, neither is left
// broken, and both can call again.
TEST(ExchangeHostile, BothHangUpAtOneInstant) {
  Rig rig(2);
  Exchange& exchange = rig.Build();
  rig.phone(0).OffHook().Wait(500).Dtmf("5551002").Wait(3000).OnHook().Wait(3000);
  rig.phone(0).OffHook().Wait(500).Dtmf("5551002");
  rig.phone(1).Wait(3000).OffHook().Wait(1200).OnHook();
  rig.RunTo(9000);
  const EventLog& log = exchange.log();
  const auto a = log.Of(0, EventKind::kHangUp), b = log.Of(1, EventKind::kHangUp);
  ASSERT_EQ(a.size(), 1u) << log.Text();
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(a[0].at, NsOfMs(4200));
  EXPECT_EQ(b[0].at, NsOfMs(4200));
  // Neither line is dead a second later, and A's second call rings B.
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(rig.phone(i).line.Conditions(Side::kA, NsOfMs(6500)).millivolts, kOnHookMillivolts);
  }
  EXPECT_EQ(log.Of(0, EventKind::kNumber).size(), 2u);
  const auto rings = log.Of(1, EventKind::kRing);
  ASSERT_FALSE(rings.empty());
  EXPECT_EQ(rings.back().detail, "on");
  EXPECT_GT(rings.back().at, NsOfMs(7200));
}

// Pulses that make no digit and breaks that fit no timing are logged; the
// incomplete number times out into reorder.
TEST(ExchangeHostile, NoDigitNoNumber) {
  Rig rig(2);
  ExchangeConfig config;
  config.plan.inter_digit_ms = 2000;
  Exchange& exchange = rig.Build(config);
  Phone& a = rig.phone(0);
  a.OffHook().Wait(500).Pulses("55");
  for (int i = 0; i < 11; ++i) a.OnHook().Wait(60).OffHook().Wait(40);  // eleven pulses
  a.Wait(500).OnHook().Wait(200).OffHook().Wait(4000);                  // a 200 ms break
  rig.RunTo(9000);
  const EventLog& log = exchange.log();
  const auto invalid = log.Of(0, EventKind::kInvalidDigit);
  ASSERT_EQ(invalid.size(), 1u) << log.Text();
  EXPECT_EQ(invalid[0].detail, "11 pulses");
  EXPECT_EQ(log.Of(0, EventKind::kInvalidBreak).size(), 1u);
  const auto numbers = log.Of(0, EventKind::kNumber);
  ASSERT_EQ(numbers.size(), 1u);
  EXPECT_EQ(numbers[0].detail, "55 incomplete");
  EXPECT_EQ(log.Of(0, EventKind::kTone).back().detail, "reorder");
}

// A minute of random hook changes, digits and noise on four lines, then all
// on hook: afterwards every line gives dial tone again.
TEST(ExchangeHostile, RandomHookAndAudioNeverStickALine) {
  Rig rig(4);
  Exchange& exchange = rig.Build();
  std::mt19937 random(2024);
  for (std::size_t i = 0; i < 4; ++i) {
    Phone& p = rig.phone(i);
    std::int64_t samples = 0;  // the script's length so far
    while (samples < Ms(60'000)) {
      const int ms = std::uniform_int_distribution<int>(1, 1500)(random);
      switch (std::uniform_int_distribution<int>(0, 4)(random)) {
        case 0:
          p.OffHook();
          break;
        case 1:
          p.OnHook();
          break;
        case 2: {
          std::vector<std::int16_t> digits = SpandspDtmf(std::to_string(random() % 100000), -10, 0, 50, 50);
          samples += static_cast<std::int64_t>(digits.size());
          p.peer.Play(std::move(digits));
          break;
        }
        case 3:
          p.peer.Tones({std::uniform_real_distribution<double>(300.0, 3400.0)(random), -15.0}, Ms(ms));
          samples += Ms(ms);
          break;
        default: {
          const int digit = static_cast<int>(random() % 10);
          p.Pulses(std::to_string(digit), 60, 40, 300);
          samples += Ms((digit == 0 ? 10 : digit) * 100 + 300);
          break;
        }
      }
      p.Wait(ms);
      samples += Ms(ms);
    }
    p.OnHook().peer.Silence(Ms(65'000) - samples);
    p.OffHook();
  }
  rig.RunTo(68'000);
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE("subscriber " + std::to_string(i));
    const auto seized = exchange.log().Of(i, EventKind::kSeized);
    ASSERT_FALSE(seized.empty());
    EXPECT_EQ(seized.back().at, NsOfMs(65'000));
    const auto tones = exchange.log().Of(i, EventKind::kTone);
    ASSERT_FALSE(tones.empty());
    EXPECT_EQ(tones.back().detail, "dial");
    EXPECT_EQ(tones.back().at, seized.back().at + NsOfMs(200));
  }
}

}  // namespace
}  // namespace plat::line::exchange::testing
