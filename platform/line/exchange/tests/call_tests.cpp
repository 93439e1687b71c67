// A call from A to B: ringback, the answer, speech both ways through the
// switch's G.711 and loss pads after exactly the delays configured, and the
// release: silence, a loop-current break, then reorder.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/line/exchange/tests/exchange_rig.h"
#include "platform/line/levels.h"
#include "platform/line/peers/spandsp_link.h"

namespace plat::line::exchange::testing {
namespace {

// A two-tone test signal, distinct for each direction.
std::vector<std::int16_t> TestTone(double hz1, double hz2, std::int64_t ms) {
  std::vector<std::int16_t> samples(static_cast<std::size_t>(Ms(ms)));
  for (std::size_t n = 0; n < samples.size(); ++n) {
    const auto i = static_cast<std::int64_t>(n);
    samples[n] = static_cast<std::int16_t>(std::nearbyint(SinePeak(-12.0) * (ToneAt(hz1, i) + ToneAt(hz2, i))));
  }
  return samples;
}

// The switch's path as the recommendation describes it: the sending card's
// mu-law coding, a digital pad of `pad_db` applied to the decoded value and
// coded again for the receiving card. spandsp's G.711 stands for ours.
std::int16_t ThroughTheSwitch(std::int16_t x, double pad_db) {
  const double decoded = ulaw_to_linear(linear_to_ulaw(x));
  const double padded = std::nearbyint(decoded * std::pow(10.0, -pad_db / 20.0));
  return ulaw_to_linear(linear_to_ulaw(static_cast<int>(padded)));
}

struct Direction {
  std::int64_t line_in;   // the sender's line, towards the exchange
  std::int64_t core;      // the sender's core delay
  double pad_db;          // the sender's loss pad
  std::int64_t line_out;  // the receiver's line, towards the receiver
};

void ExpectArrives(const std::vector<std::int16_t>& sent, std::int64_t sent_at,
                   const std::vector<std::int16_t>& heard, const Direction& d) {
  const std::int64_t delay = d.line_in + d.core + d.line_out;
  // Before the signal, silence; then every sample as the switch passes it.
  for (std::int64_t n = sent_at + delay - Ms(100); n < sent_at + delay; ++n) {
    ASSERT_EQ(heard[static_cast<std::size_t>(n)], 0) << "heard early at " << n;
  }
  for (std::size_t i = 0; i < sent.size(); ++i) {
    const std::int64_t n = sent_at + static_cast<std::int64_t>(i) + delay;
    ASSERT_EQ(heard[static_cast<std::size_t>(n)], ThroughTheSwitch(sent[i], d.pad_db))
        << "sample " << i << " of the signal";
  }
}

TEST(ExchangeCall, SpeechCrossesTheSwitchAfterExactlyTheConfiguredDelays) {
  struct Case {
    std::int64_t core_a, core_b;
    double pad_a, pad_b;
  };
  for (const Case c : {Case{8, 8, 0.0, 0.0}, Case{40, 8, 6.0, 3.0}}) {
    SCOPED_TRACE("core " + std::to_string(c.core_a) + "/" + std::to_string(c.core_b));
    LineConfig a_line, b_line;
    a_line.heard_at[0].delay_samples = 5;   // what A hears
    a_line.heard_at[1].delay_samples = 13;  // what the exchange hears from A
    b_line.heard_at[0].delay_samples = 21;
    b_line.heard_at[1].delay_samples = 17;
    Phone a(a_line), b(b_line);
    ExchangeConfig config;
    config.subscribers = {{.number = "5551001", .line = &a.line, .core_delay_samples = c.core_a,
                           .loss_pad_db = c.pad_a},
                          {.number = "5551002", .line = &b.line, .core_delay_samples = c.core_b,
                           .loss_pad_db = c.pad_b}};
    auto built = Exchange::Build(config);
    ASSERT_TRUE(built.ok()) << built.error;
    const auto a_says = TestTone(697.0, 1500.0, 1000);
    const auto b_says = TestTone(941.0, 2200.0, 1000);
    // A dials, then speaks at 4 s; B answers during the first ring, at 3 s, and speaks at 5 s.
    const auto digits = SpandspDtmf("5551002", -10, 0, 50, 50);
    a.OffHook().Wait(500).peer.Play(digits);
    a.peer.Silence(Ms(4000 - 500) - static_cast<std::int64_t>(digits.size()));
    a.peer.Play(a_says);
    b.Wait(3000).OffHook().Wait(2000);
    b.peer.Play(b_says);
    a.line.RunUntil(Ms(7000));
    const EventLog& log = built.exchange->log();
    ASSERT_EQ(log.Of(1, EventKind::kAnswer).size(), 1u) << log.Text();
    // A heard ringback until the answer, nothing after it but B.
    const auto ringback = log.Of(0, EventKind::kTone);
    ASSERT_EQ(ringback.size(), 4u);  // dial, off, ringback, off at the answer
    EXPECT_EQ(ringback[2].detail, "ringback");
    EXPECT_EQ(ringback[3].at, log.Of(1, EventKind::kAnswer)[0].at);
    ExpectArrives(a_says, Ms(4000), b.heard.samples(), {13, c.core_a, c.pad_a, 21});
    ExpectArrives(b_says, Ms(5000), a.heard.samples(), {17, c.core_b, c.pad_b, 5});
  }
}

// The caller hangs up while B rings: B stops ringing at once and is free.
TEST(ExchangeCall, TheCallerLeavingStopsTheRinging) {
  Rig rig(2);
  Exchange& exchange = rig.Build();
  rig.phone(0).OffHook().Wait(500).Dtmf("5551002").Wait(300).OnHook();
  rig.RunTo(6000);
  const EventLog& log = exchange.log();
  const auto abandon = log.Of(0, EventKind::kAbandon);
  ASSERT_EQ(abandon.size(), 1u) << log.Text();
  // A went on hook at 1.5 s; once the break is longer than a flash the call is abandoned.
  EXPECT_EQ(abandon[0].at, NsOfMs(1500 + 1001));
  const Line& b = rig.phone(1).line;
  EXPECT_TRUE(b.Conditions(Side::kA, abandon[0].at - NsOfMs(1)).ringing);
  for (std::int64_t ms = 0; ms < 2000; ms += 10) {
    ASSERT_FALSE(b.Conditions(Side::kA, abandon[0].at + NsOfMs(ms)).ringing) << ms;
  }
  EXPECT_TRUE(log.Of(1, EventKind::kAnswer).empty());
}

TEST(ExchangeCall, ReleaseGivesSilenceALoopBreakThenReorder) {
  Rig rig(2);
  Exchange& exchange = rig.Build();
  rig.phone(0).OffHook().Wait(500).Dtmf("5551002");
  rig.phone(1).WaitForRing().Wait(500).OffHook().Wait(3000).OnHook();
  rig.RunTo(7000);
  const auto releases = exchange.log().Of(0, EventKind::kRelease);
  ASSERT_EQ(releases.size(), 1u) << exchange.log().Text();
  const auto hang_up = exchange.log().Of(1, EventKind::kHangUp);
  ASSERT_EQ(hang_up.size(), 1u);
  // B went on hook at hang_up.at; once that break is longer than a flash, A is released.
  const std::uint64_t released = releases[0].at;
  EXPECT_EQ(released, hang_up[0].at + NsOfMs(1001));
  const Line& line = rig.phone(0).line;
  for (std::int64_t ms = -5; ms < 505; ++ms) {
    const sim::LineConditions c = line.Conditions(Side::kA, released + static_cast<std::uint64_t>(ms) * 1'000'000);
    const bool broken = ms >= 0 && ms < 500;
    EXPECT_EQ(c.loop_current, !broken) << ms << " ms after the release";
    EXPECT_EQ(c.millivolts, broken ? 0 : kOffHookMillivolts) << ms << " ms after the release";
  }
  // Silence from the release through the break; then reorder, 480 + 620 Hz.
  const auto& heard = rig.phone(0).heard.samples();
  const std::int64_t at = static_cast<std::int64_t>(released / kSampleNs);
  const auto sound = SoundStretches(heard, at, at + Ms(1200));
  ASSERT_GE(sound.size(), 2u);
  EXPECT_EQ(sound[0].from, at + Ms(500) + 1 + 1);  // the line's sample, then sin(0)
  EXPECT_NEAR(static_cast<double>(sound[0].to - sound[0].from), static_cast<double>(Ms(250)), 8.0);
  EXPECT_NEAR(static_cast<double>(sound[1].from - sound[0].from), static_cast<double>(Ms(500)), 1.0);
  EXPECT_NEAR(DbmOf(Amplitude(heard, sound[0].from, sound[0].to, 480.0)), -24.0, 0.3);
  EXPECT_NEAR(DbmOf(Amplitude(heard, sound[0].from, sound[0].to, 620.0)), -24.0, 0.3);
}

}  // namespace
}  // namespace plat::line::exchange::testing
