// Call waiting: a talking subscriber called by a third hears 440 Hz for
// 300 ms every 10 s (the other party held back meanwhile) only with the
// option; with caller ID on call waiting, CAS, the set's DTMF D within
// 160 ms and then Bell 202 FSK without seizure; a flash swaps the calls.
#include <gtest/gtest.h>

#include "platform/line/exchange/tests/exchange_rig.h"
#include "platform/line/peers/spandsp_link.h"

namespace plat::line::exchange::testing {
namespace {

// A (1) calls B (2) and B answers at 3 s; C (3) calls B at 5 s. A speaks
// 1000 Hz from 4 s on.
void CallThenCallAgain(Rig& rig) {
  rig.phone(0).OffHook().Wait(500).Dtmf("5551002").Wait(4000 - 1200).peer.Tones(
      {1000.0, -10.0}, Ms(40'000));
  rig.phone(1).Wait(3000).OffHook();
  rig.phone(2).Wait(4300).OffHook().Wait(500).Dtmf("5551002");
}

TEST(ExchangeCallWaiting, WithoutTheOptionTheThirdHearsBusy) {
  Rig rig(3);
  Exchange& exchange = rig.Build();
  CallThenCallAgain(rig);
  rig.RunTo(9000);
  const auto routes = exchange.log().Of(2, EventKind::kRoute);
  ASSERT_EQ(routes.size(), 1u);
  EXPECT_EQ(routes[0].detail, "subscriber 5551002 busy");
  // B hears A's tone and nothing at 440 Hz.
  const auto& b = rig.phone(1).heard.samples();
  EXPECT_NEAR(DbmOf(Amplitude(b, Ms(6000), Ms(9000), 1000.0)), -10.0, 0.5);
  EXPECT_LT(DbmOf(Amplitude(b, Ms(6000), Ms(9000), 440.0)), -60.0);
}

TEST(ExchangeCallWaiting, WithTheOptionTheToneComesEveryTenSecondsOverTheHeldBackParty) {
  Rig rig(3);
  rig.subscriber(1).call_waiting = true;
  Exchange& exchange = rig.Build();
  CallThenCallAgain(rig);
  rig.RunTo(18'000);
  const auto offered = exchange.log().Of(1, EventKind::kCallWaiting);
  ASSERT_EQ(offered.size(), 1u) << exchange.log().Text();
  EXPECT_EQ(offered[0].detail, "offered by 5551003");
  EXPECT_EQ(exchange.log().Of(2, EventKind::kTone).back().detail, "ringback");
  const auto& b = rig.phone(1).heard.samples();
  const std::int64_t start = static_cast<std::int64_t>(offered[0].at / kSampleNs) + 1;
  for (std::int64_t burst : {start, start + Ms(10'000)}) {
    SCOPED_TRACE("the burst at " + std::to_string(burst));
    // 300 ms of 440 Hz at -13 dBm0, and none of A meanwhile.
    EXPECT_NEAR(DbmOf(Amplitude(b, burst + Ms(5), burst + Ms(295), 440.0)), -13.0, 0.3);
    EXPECT_LT(DbmOf(Amplitude(b, burst + Ms(5), burst + Ms(295), 1000.0)), -60.0);
    // Then A again, and no 440 Hz.
    EXPECT_NEAR(DbmOf(Amplitude(b, burst + Ms(310), burst + Ms(2000), 1000.0)), -10.0, 0.5);
    EXPECT_LT(DbmOf(Amplitude(b, burst + Ms(310), burst + Ms(2000), 440.0)), -60.0);
  }
}

// A set's answer to CAS: once CAS (2130 + 2750 Hz) has been heard and has
// ended, DTMF D after `delay_ms`.
ScriptedPeer::BlockFn AcknowledgeCas(const MemoryTap& heard, int delay_ms) {
  struct State {
    bool seen = false;
    std::int64_t ended = -1;
    std::vector<std::int16_t> d = SpandspDtmf("D", -10, 0, 60, 0);
    std::size_t sent = 0;
  };
  auto state = std::make_shared<State>();
  return [&heard, delay_ms, state](std::int64_t instant, std::span<std::int16_t> out) {
    const auto& h = heard.samples();
    const auto n = static_cast<std::int64_t>(h.size());
    if (state->ended < 0 && n >= Ms(10)) {
      const bool cas = DbmOf(Amplitude(h, n - Ms(10), n, 2130.0)) > -30.0 &&
                       DbmOf(Amplitude(h, n - Ms(10), n, 2750.0)) > -30.0;
      if (cas) state->seen = true;
      if (state->seen && !cas) state->ended = instant;
    }
    if (state->ended < 0 || instant < state->ended + Ms(delay_ms)) return false;
    for (std::int16_t& s : out) s = state->sent < state->d.size() ? state->d[state->sent++] : 0;
    return state->sent >= state->d.size();
  };
}

TEST(ExchangeCallWaiting, CasTheSetsAcknowledgementThenFsk) {
  for (const bool acknowledged : {true, false}) {
    SCOPED_TRACE(acknowledged ? "the set acknowledges" : "no acknowledgement");
    Rig rig(3);
    rig.subscriber(1).call_waiting = true;
    rig.subscriber(1).call_waiting_caller_id = true;
    rig.subscriber(1).caller_id = CallerId::kClassMdmf;
    Exchange& exchange = rig.Build();
    rig.phone(0).OffHook().Wait(500).Dtmf("5551002");
    Phone& b = rig.phone(1);
    b.Wait(3000).OffHook();
    if (acknowledged) b.peer.Blocks(AcknowledgeCas(b.heard, 40));
    rig.phone(2).Wait(4300).OffHook().Wait(500).Dtmf("5551002");
    rig.RunTo(9000);
    const auto& heard = b.heard.samples();
    const auto offered = exchange.log().Of(1, EventKind::kCallWaiting);
    ASSERT_GE(offered.size(), 2u) << exchange.log().Text();
    const std::int64_t start = static_cast<std::int64_t>(offered[0].at / kSampleNs) + 1;
    // The tone's 300 ms, then CAS for 80 ms at -13 dBm0.
    const std::int64_t cas = start + Ms(300);
    EXPECT_NEAR(DbmOf(Amplitude(heard, cas + Ms(5), cas + Ms(75), 2130.0)), -13.0, 0.3);
    EXPECT_NEAR(DbmOf(Amplitude(heard, cas + Ms(5), cas + Ms(75), 2750.0)), -13.0, 0.3);
    const auto messages = DecodeCallerId(heard, ADSI_STANDARD_CLASS);
    if (!acknowledged) {
      EXPECT_TRUE(messages.empty());
      EXPECT_EQ(offered.back().detail, "no acknowledgement");
      continue;
    }
    // C's number and name, at the instant of the offer.
    const std::vector<std::uint8_t> expected = {
        0x80, 0x1D, 0x01, 0x08, '0', '1', '0', '1', '0', '0', '0', '0', 0x02, 0x07, '5', '5',
        '5',  '1',  '0',  '0',  '3', 0x07, 0x08, 'C', 'A', 'L', 'L', 'E', 'R', ' ', '3'};
    EXPECT_EQ(messages, std::vector<std::vector<std::uint8_t>>{expected});
    // The D began 40 ms after CAS and lasted 60 ms; the FSK 100 ms after it
    // ended (the receiver hears the end within a block).
    const std::int64_t d_end = cas + Ms(80) + Ms(40) + Ms(60);
    const auto fsk = SoundStretches(heard, d_end, d_end + Ms(1000), Ms(20));
    ASSERT_FALSE(fsk.empty());
    EXPECT_GE(fsk[0].from, d_end + Ms(100) - 102);
    EXPECT_LE(fsk[0].from, d_end + Ms(100) + 102 + Ms(2));
    // The caller calls after the called subscriber in the exchange's order;
    // the log still has the message at its first sample.
    const auto logged = exchange.log().Of(1, EventKind::kCallerId);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].at, InstantOfSample(fsk[0].from - 2));  // the line's sample, then sin(0)
    // The message as sent: with its checksum, which makes the bytes sum to 0.
    std::vector<std::uint8_t> sent = expected;
    std::uint8_t sum = 0;
    for (std::uint8_t b : expected) sum = static_cast<std::uint8_t>(sum + b);
    sent.push_back(static_cast<std::uint8_t>(256 - sum));
    EXPECT_EQ(logged[0].detail, "off hook " + HexBytes(sent));
  }
}

TEST(ExchangeCallWaiting, AFlashSwapsTheCalls) {
  Rig rig(3);
  rig.subscriber(1).call_waiting = true;
  Exchange& exchange = rig.Build();
  rig.phone(0).OffHook().Wait(500).Dtmf("5551002");
  // B answers at 3 s, speaks 1200 Hz from 4 s, flashes at 7 s and at 10 s.
  Phone& b = rig.phone(1);
  b.Wait(3000).OffHook().Wait(1000).peer.Tones({1200.0, -10.0}, Ms(3000));
  b.OnHook().Wait(500).OffHook().peer.Tones({1200.0, -10.0}, Ms(2500));
  b.OnHook().Wait(500).OffHook().peer.Tones({1200.0, -10.0}, Ms(3000));
  rig.phone(2).Wait(4300).OffHook().Wait(500).Dtmf("5551002");
  rig.RunTo(14'000);
  const auto swaps = exchange.log().Of(1, EventKind::kSwap);
  ASSERT_EQ(swaps.size(), 2u) << exchange.log().Text();
  EXPECT_EQ(swaps[0].detail, "to 5551003");
  EXPECT_EQ(swaps[1].detail, "to 5551001");
  auto level = [](const Phone& p, std::int64_t from_ms, std::int64_t to_ms) {
    return DbmOf(Amplitude(p.heard.samples(), Ms(from_ms), Ms(to_ms), 1200.0));
  };
  // Before the first flash A hears B; between the flashes C does; after the second, A again.
  EXPECT_NEAR(level(rig.phone(0), 4100, 6900), -10.0, 0.5);
  EXPECT_NEAR(level(rig.phone(2), 7700, 9900), -10.0, 0.5);
  EXPECT_LT(level(rig.phone(0), 7700, 9900), -60.0);
  EXPECT_NEAR(level(rig.phone(0), 10'700, 13'400), -10.0, 0.5);
  EXPECT_LT(level(rig.phone(2), 10'700, 13'400), -60.0);
}

}  // namespace
}  // namespace plat::line::exchange::testing
