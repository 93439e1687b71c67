// Digits: the line card's DTMF receiver beside spandsp's on the same signals,
// numbers collected from spandsp's DTMF and from dial pulses, and the breaks
// that are neither: flicker, flashes and hang-ups.
#include <gtest/gtest.h>

#include <optional>

#include "platform/line/exchange/dtmf_receiver.h"
#include "platform/line/exchange/tests/exchange_rig.h"
#include "platform/line/gaussian_noise.h"
#include "platform/line/levels.h"

namespace plat::line::exchange::testing {
namespace {

struct Heard {
  std::string digits;
  std::vector<DtmfTone> tones;
};

Heard OurReceiver(const std::vector<std::int16_t>& samples) {
  Heard heard;
  DtmfReceiver receiver;
  receiver.Reset(0);
  std::vector<std::int16_t> padded = samples;
  padded.resize(padded.size() + 800, 0);
  receiver.Feed(
      padded, [&](const DtmfTone& t) { heard.digits.push_back(t.digit); },
      [&](const DtmfTone& t) { heard.tones.push_back(t); });
  return heard;
}

struct DtmfCase {
  const char* what;
  std::string digits;
  int dbm0;
  int twist;
  int on_ms;
  int off_ms;
  std::optional<double> noise_dbm0;
  bool counts;
  int lead = 0;  // samples of silence before the first digit
};

// Both receivers hear the same spandsp digits; where a standard receiver must
// count them both do, where it must not neither does; our on and off instants
// lie within a block of the tone's edges.
TEST(ExchangeDigits, TheReceiverHearsWhatSpandspHears) {
  const DtmfCase cases[] = {
      {"every key", "0123456789*#ABCD", -10, 0, 50, 50, std::nullopt, true},
      {"loud", "159D", -4, 0, 50, 50, std::nullopt, true},
      {"quiet", "2580", -30, 0, 60, 60, std::nullopt, true},
      {"40 ms tones and pauses", "1234", -10, 0, 40, 40, std::nullopt, true},
      {"high group 6 dB up", "73", -16, 6, 50, 50, std::nullopt, true},
      {"high group 6 dB down", "73", -10, -6, 50, 50, std::nullopt, true},
      {"in noise", "9876", -20, 0, 50, 50, -45.0, true},
      {"too weak", "55", -42, 0, 60, 60, std::nullopt, false},
      {"too short", "55", -10, 0, 10, 60, std::nullopt, false},
      {"too short, across two blocks", "55", -10, 0, 10, 60, std::nullopt, false, 60},
      {"high group 12 dB up", "55", -22, 12, 60, 60, std::nullopt, false},
      {"high group 12 dB down", "55", -10, -12, 60, 60, std::nullopt, false},
  };
  for (const DtmfCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::int16_t> signal(static_cast<std::size_t>(c.lead), 0);
    const auto digits = SpandspDtmf(c.digits, c.dbm0, c.twist, c.on_ms, c.off_ms);
    signal.insert(signal.end(), digits.begin(), digits.end());
    const std::vector<Stretch> tones = SoundStretches(signal, 0, static_cast<std::int64_t>(signal.size()));
    if (c.noise_dbm0) {
      GaussianNoise noise(7, 0);
      const double rms = RmsAt(*c.noise_dbm0);
      for (std::int16_t& s : signal) {
        s = static_cast<std::int16_t>(std::clamp(s + std::nearbyint(noise.Next() * rms), -32768.0, 32767.0));
      }
    }
    const std::string expected = c.counts ? c.digits : "";
    EXPECT_EQ(SpandspDigits(signal), expected);
    const Heard ours = OurReceiver(signal);
    EXPECT_EQ(ours.digits, expected);
    if (!c.counts) continue;
    ASSERT_EQ(ours.tones.size(), tones.size());
    for (std::size_t i = 0; i < tones.size(); ++i) {
      EXPECT_LE(std::abs(ours.tones[i].on - tones[i].from), DtmfReceiver::kBlock) << "digit " << i;
      EXPECT_LE(std::abs(ours.tones[i].off - tones[i].to), DtmfReceiver::kBlock) << "digit " << i;
    }
  }
}

// spandsp's digits over the line into the exchange: the number is collected
// and each digit logged with the instants of its tone.
TEST(ExchangeDigits, DtmfFromSpandspBecomesTheNumber) {
  struct Case {
    int dbm0;
    int on_ms;
    int off_ms;
  };
  for (const Case c : {Case{-10, 50, 50}, Case{-25, 40, 40}, Case{-4, 100, 100}}) {
    SCOPED_TRACE(std::to_string(c.dbm0) + " dBm0, " + std::to_string(c.on_ms) + "/" +
                 std::to_string(c.off_ms) + " ms");
    Rig rig(2);
    Exchange& exchange = rig.Build();
    const std::vector<std::int16_t> digits = SpandspDtmf("5551002", c.dbm0, 0, c.on_ms, c.off_ms);
    rig.phone(0).OffHook().Wait(500).peer.Play(digits);
    rig.RunTo(2500);
    const auto numbers = exchange.log().Of(0, EventKind::kNumber);
    ASSERT_EQ(numbers.size(), 1u) << exchange.log().Text();
    EXPECT_EQ(numbers[0].detail, "5551002");
    // The line delays by one sample; tone edges in the script fall at 500 ms + their place.
    const auto logged = exchange.log().Of(0, EventKind::kDigit);
    const auto tones = SoundStretches(digits, 0, static_cast<std::int64_t>(digits.size()));
    ASSERT_EQ(logged.size(), tones.size());
    for (std::size_t i = 0; i < tones.size(); ++i) {
      const std::int64_t on = Ms(500) + 1 + tones[i].from;
      const std::int64_t off = Ms(500) + 1 + tones[i].to;
      EXPECT_EQ(logged[i].detail, std::string(1, "5551002"[i]) + " dtmf");
      EXPECT_LE(std::abs(static_cast<std::int64_t>(logged[i].at / kSampleNs) - on), DtmfReceiver::kBlock);
      EXPECT_LE(std::abs(static_cast<std::int64_t>(logged[i].end / kSampleNs) - off), DtmfReceiver::kBlock);
    }
  }
}

// Dial pulses at 10 pulses per second and the edges of the usual tolerance:
// the number, 0 dialled as ten pulses, and each digit from its first break to
// its last make, to the nanosecond of the hook's log.
TEST(ExchangeDigits, PulsesBecomeTheNumber) {
  struct Case {
    int break_ms;
    int make_ms;
  };
  for (const Case c : {Case{60, 40}, Case{61, 39}, Case{67, 33}}) {
    SCOPED_TRACE(std::to_string(c.break_ms) + "/" + std::to_string(c.make_ms));
    Rig rig(2);
    Exchange& exchange = rig.Build();
    rig.phone(0).OffHook().Wait(500).Pulses("5551002", c.break_ms, c.make_ms, 700);
    rig.RunTo(12'000);
    const auto numbers = exchange.log().Of(0, EventKind::kNumber);
    ASSERT_EQ(numbers.size(), 1u) << exchange.log().Text();
    EXPECT_EQ(numbers[0].detail, "5551002");
    const auto digits = exchange.log().Of(0, EventKind::kDigit);
    ASSERT_EQ(digits.size(), 7u);
    std::int64_t start = Ms(500);
    for (std::size_t i = 0; i < 7; ++i) {
      const int pulses = "5551002"[i] == '0' ? 10 : "5551002"[i] - '0';
      EXPECT_EQ(digits[i].detail, std::string(1, "5551002"[i]) + " pulse " + std::to_string(pulses));
      EXPECT_EQ(digits[i].at, InstantOfSample(start));
      const std::int64_t last_make = start + pulses * Ms(c.break_ms + c.make_ms) - Ms(c.make_ms);
      EXPECT_EQ(digits[i].end, InstantOfSample(last_make));
      start += pulses * Ms(c.break_ms + c.make_ms) + Ms(700);
    }
  }
}

// Breaks of a few milliseconds inside the pulses, the makes and the pauses
// change nothing: the number is the same and each flicker is logged.
TEST(ExchangeDigits, BreaksUnderTwentyMillisecondsAreIgnored) {
  Rig rig(2);
  Exchange& exchange = rig.Build();
  Phone& a = rig.phone(0);
  a.OffHook().Wait(400);
  a.OnHook().Wait(15).OffHook().Wait(85);  // flicker before dialling
  for (char d : std::string("5551002")) {
    const int pulses = d == '0' ? 10 : d - '0';
    for (int p = 0; p < pulses; ++p) {
      // A flicker inside the make: 10 ms of make, 5 ms of break, 25 ms of make.
      a.OnHook().Wait(60).OffHook().Wait(10).OnHook().Wait(5).OffHook().Wait(25);
    }
    a.Wait(300).OnHook().Wait(19).OffHook().Wait(381);  // and one in the pause
  }
  rig.RunTo(14'000);
  const auto numbers = exchange.log().Of(0, EventKind::kNumber);
  ASSERT_EQ(numbers.size(), 1u) << exchange.log().Text();
  EXPECT_EQ(numbers[0].detail, "5551002");
  // One before dialling, one in every pulse's make, one in every pause.
  EXPECT_EQ(exchange.log().Of(0, EventKind::kIgnoredBreak).size(), 1u + 38u + 7u);
  EXPECT_TRUE(exchange.log().Of(0, EventKind::kInvalidBreak).empty());
}

// One break of each length after dial tone: what the exchange makes of it.
TEST(ExchangeDigits, BreaksAreToldApartByTheirLength) {
  struct Case {
    int break_ms;
    EventKind kind;
  };
  const Case cases[] = {
      {10, EventKind::kIgnoredBreak}, {20, EventKind::kDigit},   {120, EventKind::kDigit},
      {121, EventKind::kInvalidBreak}, {299, EventKind::kInvalidBreak}, {300, EventKind::kFlash},
      {1000, EventKind::kFlash},       {1001, EventKind::kHangUp},  {1500, EventKind::kHangUp},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.break_ms) + " ms");
    Rig rig(1);
    Exchange& exchange = rig.Build();
    rig.phone(0).OffHook().Wait(1000).OnHook().Wait(c.break_ms).OffHook();
    rig.RunTo(4000);
    const auto found = exchange.log().Of(0, c.kind);
    ASSERT_EQ(found.size(), 1u) << exchange.log().Text();
    EXPECT_EQ(found[0].at, NsOfMs(1000));
    if (c.kind == EventKind::kHangUp) {
      // The line hung up; closing the loop again is a new seizure.
      EXPECT_EQ(exchange.log().Of(0, EventKind::kSeized).size(), 2u);
    } else {
      EXPECT_EQ(found[0].end, NsOfMs(1000 + c.break_ms));
      EXPECT_EQ(exchange.log().Of(0, EventKind::kSeized).size(), 1u);
    }
  }
}

}  // namespace
}  // namespace plat::line::exchange::testing
